#include "support.h"

#include <cstdlib>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>
#include <SDL/SDL.h>
#include <wx/fileconf.h>
#include <wx/filename.h>
#include <gtest/gtest.h>
#include "main.h"

namespace testsupport {

static std::vector<std::string> g_tempDirs;
static std::string g_home;
static bool g_glOpen = false;

std::string makeTempDir()
{
    char tmpl[] = "/tmp/tibrel-test-XXXXXX";
    char* dir = mkdtemp(tmpl);
    std::string path = dir ? dir : "/tmp";
    g_tempDirs.push_back(path);
    return path;
}

const std::string& tempHome()
{
    return g_home;
}

bool openGLContext(int w, int h)
{
    if (g_glOpen)
        return true;
    if (SDL_Init(SDL_INIT_VIDEO) != 0)
        return false;
    if (!SDL_SetVideoMode(w, h, 0, SDL_OPENGL))
        return false;
    g_glOpen = true;
    return true;
}

void openConfig()
{
    closeConfig();
    std::string dir = g_home + "/.config/tibrel";
    std::string cmd = "mkdir -p '" + dir + "'";
    if (system(cmd.c_str()) != 0)
        return;
    wxFileConfig* cfg = new wxFileConfig("tibrel", wxEmptyString,
                                         wxString::FromUTF8((dir + "/tibrel.conf").c_str()),
                                         wxEmptyString, wxCONFIG_USE_LOCAL_FILE);
    cfg->SetRecordDefaults(true);
    g_config = cfg;
    wxConfigBase::Set(cfg);
}

void closeConfig()
{
    if (!g_config)
        return;
    wxConfigBase::Set(nullptr);
    delete g_config;
    g_config = nullptr;
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
