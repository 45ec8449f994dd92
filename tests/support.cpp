#include "support.h"

#include <algorithm>

#include <cstdlib>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>
#include <SDL/SDL.h>
#include <GL/gl.h>
#include <gtest/gtest.h>
#include "game.h"
#ifdef __SANITIZE_ADDRESS__
#include <sanitizer/lsan_interface.h>
#endif
#include "main.h"

namespace testsupport {

static std::vector<std::string> g_tempDirs;
static std::string g_home;
static bool g_glOpen = false;

std::string makeTempDir()
{
    char tmpl[] = "/tmp/tibrel-test-XXXXXX";
    char* dir = mkdtemp(tmpl);
    if (!dir)
        return std::string();   // nothing to remove later: never hand out /tmp itself
    g_tempDirs.push_back(dir);
    return dir;
}

const std::string& tempHome()
{
    return g_home;
}

bool openGLContext(int w, int h)
{
    if (g_glOpen)
        return true;
    // a busy X server may turn a connection away now and then (EAGAIN); SDL then falls back
    // to a video driver without OpenGL. Start the video system again and retry.
    for (int attempt = 0; attempt < 10 && !g_glOpen; attempt++) {
        if (attempt > 0) {
            SDL_QuitSubSystem(SDL_INIT_VIDEO);
            SDL_Delay(100);
        }
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0)
            continue;
        g_glOpen = SDL_SetVideoMode(w, h, 0, SDL_OPENGL) != nullptr;
    }
    return g_glOpen;
}

void plugDevices(controller* devices)
{
    for (int i = 0; i < 2; i++)
        g_keys[i] = &devices[i];
    for (int i = 0; i < 4; i++)
        g_joys[i] = &devices[2 + i];
}

void unplugDevices()
{
    for (controller*& c : g_keys)
        c = nullptr;
    for (controller*& c : g_joys)
        c = nullptr;
}

bool openGameSuite(controller* devices)
{
    if (!openGLContext())
        return false;
    openConfig();
    plugDevices(devices);
    g_thegame = new game();
    return true;
}

void closeGameSuite()
{
    delete g_thegame;
    g_thegame = nullptr;
    closeConfig();
}

void openConfig()
{
    // the game's own opening, so tests read and write the file the game would
    openConfigStore();
}

void closeConfig()
{
    closeConfigStore();
}

void writeFile(const std::string& path, const std::string& bytes)
{
    std::string::size_type slash = path.rfind('/');
    if (slash != std::string::npos) {
        std::string cmd = "mkdir -p '" + path.substr(0, slash) + "'";
        if (system(cmd.c_str()) != 0)
            return;
    }
    FILE* f = fopen(path.c_str(), "wb");
    if (!f)
        return;
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
}

std::string readAll(const std::string& path)
{
    std::string s;
    FILE* f = fopen(path.c_str(), "rb");
    if (!f)
        return s;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        s.append(buf, n);
    fclose(f);
    return s;
}

std::string seatsText(const netlobbystate& l)
{
    std::string out;
    for (const netseat& s : l.seats)
        out += s.machine == NET_COMPUTER ? std::string("C ")
                                         : std::to_string(s.machine) + "." + std::to_string(s.device) + " ";
    return out;
}

bool shotWanted()
{
    const char* v = getenv("TIBREL_SHOT");
    return v && std::string(v) == "1";
}

std::vector<unsigned char> readFrame(int w, int h)
{
    const size_t row = static_cast<size_t>(w) * 3;
    std::vector<unsigned char> up(row * h), down(row * h);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, w, h, GL_RGB, GL_UNSIGNED_BYTE, up.data());
    for (int y = 0; y < h; y++)
        std::copy(up.begin() + (h - 1 - y) * row, up.begin() + (h - y) * row, down.begin() + y * row);
    return down;
}

bool savePicture(const std::vector<unsigned char>& rgb, int w, int h, const std::string& png)
{
    std::string ppm = makeTempDir() + "/frame.ppm";
    FILE* f = fopen(ppm.c_str(), "wb");
    if (!f)
        return false;
    fprintf(f, "P6\n%d %d\n255\n", w, h);
    fwrite(rgb.data(), 1, rgb.size(), f);
    fclose(f);
    std::string cmd = "convert '" + ppm + "' '" + png + "'";
    return system(cmd.c_str()) == 0;
}

static void removeTempDirs()
{
    for (const std::string& d : g_tempDirs) {
        std::string cmd = "rm -rf '" + d + "'";
        if (system(cmd.c_str()) != 0)
            fprintf(stderr, "could not remove %s\n", d.c_str());
    }
}

static void isolateHome()
{
    g_home = makeTempDir();
    setenv("HOME", g_home.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (g_home + "/.config").c_str(), 1);
    if (!getenv("SDL_AUDIODRIVER"))
        setenv("SDL_AUDIODRIVER", "dummy", 1);
    // tests run under X: never let SDL fall back to drawing into the terminal
    if (!getenv("SDL_VIDEODRIVER"))
        setenv("SDL_VIDEODRIVER", "x11", 1);
    atexit(removeTempDirs);
}

}

#ifndef TIBREL_BENCH_MAIN
int main(int argc, char** argv)
{
    testsupport::isolateHome();
    ::testing::InitGoogleTest(&argc, argv);
    int rc = RUN_ALL_TESTS();
    testsupport::closeConfig();
#ifdef __SANITIZE_ADDRESS__
    // SDL_Quit unloads the GL driver, after which LeakSanitizer can no longer tell the
    // driver's own leftovers from ours: check for leaks while it is still loaded
    __lsan_do_leak_check();
#endif
    if (SDL_WasInit(0))
        SDL_Quit();
    return rc;
}
#else
#include <benchmark/benchmark.h>
int main(int argc, char** argv)
{
    testsupport::isolateHome();
    ::benchmark::Initialize(&argc, argv);
    ::benchmark::RunSpecifiedBenchmarks();
    ::benchmark::Shutdown();
    testsupport::closeConfig();
    return 0;
}
#endif
