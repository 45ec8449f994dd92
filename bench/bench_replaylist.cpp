// Opening the Replays screen on a folder of replays (argument: how many): the listing, the
// summaries and the screen's lines. /1 reads the summaries from the folder's index, as every
// opening after the first does; /0 removes the index first, so every header is read and every
// file's length counted once. The frame budget is 20 ms.
// xvfb-run -a ./build/tibrel_bench --benchmark_filter=BM_ReplaysScreenOpens
//     --benchmark_repetitions=3 --benchmark_enable_random_interleaving=true
#include <cstdio>
#include <string>
#include <unistd.h>
#include <benchmark/benchmark.h>
#include "controller.h"
#include "game.h"
#include "main.h"
#include "mainmenu.h"
#include "random.h"
#include "replay.h"
#include "replaysmenu.h"
#include "support.h"

// a folder of count replays, each a header and a minute of steps
static std::string replayFolderOf(int count)
{
    static std::string folders[2];
    static int made[2] = { 0, 0 };
    const int slot = count == 500 ? 0 : 1;
    if (made[slot] == count)
        return folders[slot];
    folders[slot] = testsupport::makeTempDir();
    replayheader h;
    h.settings = replaySettings(g_config);
    seedGenerators(seedsFromNumber(5));
    saveRandomState(h.randoms);
    std::string steps;
    for (int i = 0; i < 60; i++) {
        // a chunk of 50 steps: 'K', its length, 'T' 50, its checksum
        const char body[5] = { 'T', 50, 0, 0, 0 };
        unsigned sum = 2166136261u;
        for (char c : body)
            sum = (sum ^ static_cast<unsigned char>(c)) * 16777619u;
        const char head[5] = { 'K', 5, 0, 0, 0 };
        steps.append(head, 5);
        steps.append(body, 5);
        for (int b = 0; b < 4; b++)
            steps += static_cast<char>((sum >> (8 * b)) & 0xff);
    }
    for (int i = 0; i < count; i++) {
        char name[64];
        snprintf(name, sizeof name, "/2026-%02d-%02d_%02d-00-00.tibrelreplay", 1 + i / 600,
                 1 + (i / 24) % 25, i % 24);
        replayrecorder rec;
        rec.open(folders[slot] + name, h);
        FILE* f = fopen((folders[slot] + name).c_str(), "ab");
        if (f) {
            fwrite(steps.data(), 1, steps.size(), f);
            fclose(f);
        }
    }
    made[slot] = count;
    return folders[slot];
}

static void BM_ReplaysScreenOpens(benchmark::State& state)
{
    if (!testsupport::openGLContext()) {
        state.SkipWithError("needs a display, e.g. xvfb-run");
        return;
    }
    testsupport::openConfig();
    controller devices[6];
    g_keys[0] = &devices[0];
    g_keys[1] = &devices[1];
    if (!g_thegame)
        g_thegame = new game();
    mainmenu owner;
    const int count = static_cast<int>(state.range(0));
    const bool indexed = state.range(1) != 0;
    const std::string folder = replayFolderOf(count);
    { replaysmenu warm(owner, folder); }
    size_t lines = 0;
    for (auto _ : state) {
        if (!indexed) {
            state.PauseTiming();
            unlink((folder + "/.index").c_str());
            state.ResumeTiming();
        }
        replaysmenu screen(owner, folder);
        lines += screen.items.size();
    }
    benchmark::DoNotOptimize(lines);
    state.counters["replays"] = count;
}
BENCHMARK(BM_ReplaysScreenOpens)->Args({ 500, 1 })->Args({ 500, 0 })->Args({ 20, 1 })
    ->Unit(benchmark::kMillisecond);
