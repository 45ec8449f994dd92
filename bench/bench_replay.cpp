// The cost of recording a replay: the match step alone and the same step with the recorder
// around it (argument 1), one human player on keyboard 1 pressing something new every 0.2 s.
// xvfb-run -a ./build/tibrel_bench --benchmark_filter='BM_MatchStepRecorded|BM_StateHash'
//     --benchmark_repetitions=3 --benchmark_enable_random_interleaving=true
// The counter "bytes_per_min" is the replay's size per minute of play.
#include <cstdio>
#include <benchmark/benchmark.h>
#include "controller.h"
#include "game.h"
#include "main.h"
#include "random.h"
#include "replay.h"
#include "support.h"

static void BM_MatchStepRecorded(benchmark::State& state)
{
    if (!testsupport::openGLContext()) {
        state.SkipWithError("needs a display, e.g. xvfb-run");
        return;
    }
    testsupport::openConfig();
    controller keys[2];
    g_keys[0] = &keys[0];
    g_keys[1] = &keys[1];
    seedGenerators(seedsFromNumber(11));
    replayheader h;
    saveRandomState(h.randoms);
    game* g = new game();
    g_thegame = g;
    g->gameMode = 1;
    // argument 2: four computer players, so nothing but steps and hashes is written
    if (state.range(0) != 2)
        g->setController(0, g_keys[0]);
    const bool recording = state.range(0) != 0;
    const std::string path = testsupport::makeTempDir() + "/bench.tibrelreplay";
    replayrecorder rec;
    if (recording)
        rec.open(path, h);
    const size_t headerBytes = rec.size();

    long steps = 0;
    for (auto _ : state) {
        // a new key state every ten steps: run, turn, jump and hit in turn
        const int phase = static_cast<int>(steps / 10) % 4;
        keys[0].right = phase == 0;
        keys[0].left = phase == 2;
        keys[0].button[0] = phase == 1;
        keys[0].button[1] = phase == 3;
        rec.beforeStep(*g);
        g->step(0.02f);
        rec.afterStep(*g);
        steps++;
        if (g->state == game::STATE_MATCHOVER)
            g->event(game::EV_BEGIN, 0);
    }
    rec.close(*g);
    if (recording && steps > 0)
        state.counters["bytes_per_min"] =
            static_cast<double>(rec.size() - headerBytes) / (steps * 0.02 / 60.0);
    state.counters["header_bytes"] = static_cast<double>(headerBytes);

    g_thegame = nullptr;
    delete g;
    g_keys[0] = g_keys[1] = nullptr;
}
// argument: 0 the step alone, 1 recorded, 2 recorded without a human player
BENCHMARK(BM_MatchStepRecorded)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

// the state hash, taken once per rally and at the end of a replay
static void BM_StateHash(benchmark::State& state)
{
    if (!testsupport::openGLContext()) {
        state.SkipWithError("needs a display, e.g. xvfb-run");
        return;
    }
    testsupport::openConfig();
    seedGenerators(seedsFromNumber(3));
    game* g = new game();
    g_thegame = g;
    for (int i = 0; i < 500; i++)
        g->step(0.02f);
    for (auto _ : state)
        benchmark::DoNotOptimize(g->stateHash());
    g_thegame = nullptr;
    delete g;
}
BENCHMARK(BM_StateHash)->Unit(benchmark::kMicrosecond);
