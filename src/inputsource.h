#ifndef TIBREL_INPUTSOURCE_H
#define TIBREL_INPUTSOURCE_H

#include <string>
#include "replay.h"

class game;

// Where each step's controller states come from: the local devices, a replay, or the
// network session. The main loop steps the match only when its source says so.
class inputsource {
public:
    enum status {
        STEP,   // the controllers hold this step's states: take it now
        WAIT,   // not yet (the network has not brought them); draw and ask again
        END     // no more steps: the replay ended, or the online match stopped
    };
    virtual ~inputsource() {}
    // before each step: sets the controllers the match reads
    virtual status beforeStep(game& g) = 0;
    // after the step was taken
    virtual void afterStep(game&) {}
    // the six controllers a recording reads, in the replay's device order
    virtual void devices(controller* out[REPLAY_DEVICES]) { replayDevices(out); }
    // why the source ended (empty when it ended as it should)
    virtual const std::string& message() const;
    // the exit status the game ends with after END: 0, 1 damaged, 2 differs
    virtual int exitStatus() const { return 0; }
    // steps to take in this drawn frame (more while a machine catches up with the others)
    virtual unsigned stepsThisFrame() const { return 1; }
};

// The devices of this computer, read as they are.
class localinput : public inputsource {
public:
    status beforeStep(game&) override { return STEP; }
};

// A recorded match: the recorded states are written into the devices step by step.
class replayinput : public inputsource {
public:
    replayinput(replayplayer* p, const std::string& file) : player(p), name(file) {}
    ~replayinput() override;
    status beforeStep(game& g) override;
    // "replay FILE: why", or empty
    const std::string& message() const override { return why; }
    int exitStatus() const override { return status_; }
    // the replay being played, for its progress and the reason it stopped
    const replayplayer& replay() const { return *player; }

private:
    replayplayer* player;   // owned
    std::string name;
    std::string why;
    int status_ = 0;
};

#endif
