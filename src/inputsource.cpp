#include "inputsource.h"

const std::string& inputsource::message() const
{
    static const std::string none;
    return none;
}

replayinput::~replayinput()
{
    delete player;
    // nothing a recording held stays pressed
    controller* held[REPLAY_DEVICES];
    devices(held);
    for (controller* c : held)
        if (c)
            c->reset_state();
}

inputsource::status replayinput::beforeStep(game& g)
{
    controller* held[REPLAY_DEVICES];
    devices(held);
    const replayplayer::result r = player->beforeStep(g, held);
    if (r == replayplayer::GO)
        return STEP;
    if (!player->message().empty())
        why = "replay " + name + ": " + player->message();
    status_ = r == replayplayer::MISMATCH ? 2 : (r == replayplayer::DAMAGED ? 1 : 0);
    return END;
}
