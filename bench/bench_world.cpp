// The world's costly moments: a fresh sand court, one footprint, one landing prediction.
// The sand needs a GL context for its texture: run under xvfb-run.
#include <cstdlib>
#include <string>
#include <vector>
#include <unistd.h>
#include <benchmark/benchmark.h>
#include "ball.h"
#include "daytime.h"
#include "particle.h"
#include "playfield.h"
#include "random.h"
#include "support.h"

namespace {

bool needGL(benchmark::State& state)
{
    if (testsupport::openGLContext())
        return true;
    state.SkipWithError("needs a display, e.g. xvfb-run");
    return false;
}

void clearParticles(playfield& field)
{
    for (size_t i = field.children.size(); i-- > 0;)
        if (dynamic_cast<particle*>(field.children[i]))
            delete field.children[i];
}

// fill, 6000 random prints, texture upload and the venue of the time of day (when data/ is
// under the working directory)
void BM_SandReset(benchmark::State& state)
{
    if (!needGL(state))
        return;
    init_genrand(1);
    seedDiscrete(1);
    setDaytime(DT_EVENING);
    playfield field;
    for (auto _ : state)
        field.reset();
}
BENCHMARK(BM_SandReset)->Unit(benchmark::kMillisecond);

// the sand alone: run where there is no data/ tree, so no venue is loaded
void BM_SandResetWithoutVenue(benchmark::State& state)
{
    if (!needGL(state))
        return;
    char here[4096];
    if (!getcwd(here, sizeof here) || chdir(testsupport::makeTempDir().c_str()) != 0) {
        state.SkipWithError("cannot change directory");
        return;
    }
    init_genrand(1);
    seedDiscrete(1);
    {
        playfield field;
        for (auto _ : state)
            field.reset();
    }
    if (chdir(here) != 0)
        state.SkipWithError("cannot change back");
}
BENCHMARK(BM_SandResetWithoutVenue)->Unit(benchmark::kMillisecond);

// the drawn surface of a freshly raked court built anew, as after a print on a sampled cell
void BM_SandMeshRebuild(benchmark::State& state)
{
    if (!needGL(state))
        return;
    init_genrand(1);
    seedDiscrete(1);
    setDaytime(DT_DAY);
    playfield field;
    std::vector<int> lift(SAND_POINTS * SAND_POINTS);
    for (int i = 0; i < SAND_POINTS; i++)
        for (int j = 0; j < SAND_POINTS; j++)
            lift[i * SAND_POINTS + j] = -std::abs(field.heightMap[8 * i * 512 + 8 * j]);
    sandmesh mesh(SAND_POINTS, SAND_TOLERANCE);
    int flip = 0;
    for (auto _ : state) {
        lift[0] = flip ^= 1;   // a change, so each update builds
        mesh.update(lift.data());
        benchmark::DoNotOptimize(mesh.triangles().data());
    }
    state.counters["triangles"] = (double)mesh.triangles().size() / 3;
}
BENCHMARK(BM_SandMeshRebuild)->Unit(benchmark::kMicrosecond);

// a player's landing print, size 20: 20 x 40 cells
void BM_FootStep20(benchmark::State& state)
{
    if (!needGL(state))
        return;
    init_genrand(2);
    playfield field;
    field.dustEnabled = false;
    float x = -50;
    for (auto _ : state) {
        field.footStep(x, 10, 20, 5);
        x = x > 50 ? -50 : x + 1.7f;
    }
}
BENCHMARK(BM_FootStep20)->Unit(benchmark::kMicrosecond);

// the same print with the 200 dust particles it throws up
void BM_FootStep20WithDust(benchmark::State& state)
{
    if (!needGL(state))
        return;
    init_genrand(3);
    seedDiscrete(3);
    playfield field;
    float x = -50;
    for (auto _ : state) {
        field.footStep(x, 10, 20, 5);
        x = x > 50 ? -50 : x + 1.7f;
        state.PauseTiming();
        clearParticles(field);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_FootStep20WithDust)->Unit(benchmark::kMicrosecond);

// right after a serve, and at the top of its flight
void BM_GroundHitAfterServe(benchmark::State& state)
{
    init_genrand(4);
    ball b(false);
    b.predictor = new ball(false);
    b.pos = vector3d(-35, -50, -10);
    b.vel = vector3d(85, -85, 0);
    for (auto _ : state)
        benchmark::DoNotOptimize(b.getNextGroundHitPosition());
}
BENCHMARK(BM_GroundHitAfterServe);

void BM_GroundHitAtApex(benchmark::State& state)
{
    init_genrand(5);
    ball b(false);
    b.predictor = new ball(false);
    b.pos = vector3d(-35, -50, -10);
    b.vel = vector3d(85, -85, 0);
    while (b.vel.y < 0)
        b.step(0.02f);
    for (auto _ : state)
        benchmark::DoNotOptimize(b.getNextGroundHitPosition());
}
BENCHMARK(BM_GroundHitAtApex);

}  // namespace
