// One match step with four computer players, the whole scene stepped as the main loop does.
#include <cstdlib>
#include <benchmark/benchmark.h>
#include "game.h"
#include "main.h"
#include "random.h"
#include "support.h"

static void BM_MatchStep(benchmark::State& state)
{
    if (!testsupport::openGLContext()) {
        state.SkipWithError("needs a display, e.g. xvfb-run");
        return;
    }
    testsupport::openConfig();
    init_genrand(11);
    seedDiscrete(11);
    game* g = new game();
    g_thegame = g;
    g->gameMode = static_cast<int>(state.range(0));
    const int savedWinscore = WINSCORE;
    WINSCORE = 8;
    g->event(game::EV_BEGIN, 0);

    long matches = 0;
    for (auto _ : state) {
        g->step(0.02f);
        if (g->state == game::STATE_MATCHOVER) {
            g->event(game::EV_BEGIN, 0);   // a new match: keeps the rallies coming
            matches++;
        }
    }
    state.counters["matches"] = static_cast<double>(matches);

    WINSCORE = savedWinscore;
    g_thegame = nullptr;
    delete g;
}
// argument: game mode (0 Classic, 2 Extreme! with power-ups)
BENCHMARK(BM_MatchStep)->Arg(0)->Arg(2)->Unit(benchmark::kMicrosecond);
