// tibrel_framebench: the cost of a drawn frame of the real game loop, scene by scene, against
// a floor program that does only the per-frame work the game cannot avoid at the same size
// (clear, the 512 x 512 sand upload, one opaque full-screen textured quad, the frame copy, the
// swap). Each round measures the floor and every scene once, interleaved, in one process and
// one window; the figures to report are the ratios to the floor of the same round. The scenes
// do the game's per-frame work: its frame, event polling, the replay recording of a match, the
// sound mixer playing music and effects.
//
// --daytime picks morning (0), day (1, the default), evening (2) or night (3).
// --paced runs each scene through the real loop instead, with its sleep and catch-up, and
// reports game seconds per real second and the share of frames whose steps ran late.
//
//   tibrel_framebench [-640|-800|-1024|-1280|-size WxH] [--frames N] [--rounds N]
//                     [--scenes a,b,...] [--shots DIR] [--paced] [--daytime 0-3]
//
// run it through tools/framebench.sh, which provides the display and an empty home folder.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <map>
#include <string>
#include <vector>
#include <SDL/SDL.h>
#include <SDL/SDL_mixer.h>
#include <GL/gl.h>
#include <wx/config.h>
#include "ball.h"
#include "game.h"
#include "glstuff.h"
#include "intromenu.h"
#include "main.h"
#include "mainmenu.h"
#include "player.h"
#include "playfield.h"
#include "random.h"
#include "replay.h"
#include "sound.h"
#include "textrender.h"

namespace {

const float STEP = STEP_SECONDS;   // seconds of game time per step, as the game steps
const double FRAME_MS = 20.0;      // the game's pace
const int SAND = 512;            // sand texture edge

double wallMs()
{
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

// CPU time of the whole process, the renderer's threads included
double cpuMs()
{
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

// every generator the scenes draw from, in one place
void seedScene(unsigned seed)
{
    seedGenerators(seedsFromNumber(seed));
}

// The bass level of the menu music, as the sound callback would report it: a beat of 0.5 s
// that kicks to 0.9 and dies away. Fixed rather than heard, so two runs draw the same frames.
float musicPulse(int frame)
{
    const int beat = frame % 25;
    return 0.9f * std::max(0.0f, 1.0f - beat / 12.0f) + 0.05f;
}

struct frameStats {
    std::vector<double> work;   // ms per frame, no pacing
    double cpu = 0;             // ms of process CPU, all frames
};

// A scene sets itself up (not measured), draws `frames` frames as the loop does, tears down.
class scene {
public:
    virtual ~scene() {}
    virtual void begin() = 0;
    virtual void frame(int n) = 0;   // one loop pass without pacing: a drawn frame and a step
    virtual void end() = 0;
    // frames to measure when asked for `frames`
    virtual int length(int frames) { return frames; }
};

// ---- the floor ----

class floorScene : public scene {
public:
    unsigned tex = 0;
    std::vector<unsigned char> pixels;

    void begin() override
    {
        pixels.assign(SAND * SAND * 4, 200);
        reserveTexture(&tex, SAND, SAND, false);
    }
    void frame(int n) override
    {
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        pixels[(n * 4097) % pixels.size()] = (unsigned char)n;   // a changing map, as in play
        updateTexture(tex, pixels.data(), SAND, SAND);
        // opaque, whatever the scene before it left switched on
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_BLEND);
        glDisable(GL_ALPHA_TEST);
        glEnable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, tex);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glColor4f(1, 1, 1, 1);
        glBegin(GL_QUADS);
        glTexCoord2f(0, 0);
        glVertex2f(-1, -1);
        glTexCoord2f(1, 0);
        glVertex2f(1, -1);
        glTexCoord2f(1, 1);
        glVertex2f(1, 1);
        glTexCoord2f(0, 1);
        glVertex2f(-1, 1);
        glEnd();
        glFlush();
        keepFrame();
        SDL_GL_SwapBuffers();
    }
    void end() override
    {
        glDeleteTextures(1, &tex);
        tex = 0;
    }
};

// ---- the game's own loop ----

// A scene of the game loop: what it shows, and its step. A step is taken as the loop takes it,
// after the events are polled.
class loopScene : public scene {
public:
    bool inMatch = false;
    int particles = 0;

    virtual gameobject* shown() = 0;
    virtual void step(int n) = 0;   // step n of the scene

    void takeStep(int n)
    {
        pollEvents(inMatch, particles);
        step(n);
        stepTaken();
    }
    void frame(int n) override
    {
        showFrame(shown());
        takeStep(n);
    }
};

// The title pictures and the main menu, opened as the game opens them.
class titleScene : public loopScene {
public:
    mainmenu* root = nullptr;
    bool skipTitles;   // true: the main menu alone, entered with its transition

    explicit titleScene(bool skip) : skipTitles(skip) {}

    // the title pictures are measured whole: 12 s of game time
    int length(int frames) override { return skipTitles ? frames : 600; }

    void begin() override
    {
        seedScene(5);
        g_feedback = g_shake = g_mix = 0;
        root = new mainmenu();
        root->setController(g_keys[0]);
        if (!skipTitles) {
            intromenu* name = new intromenu("data/titles/name.png", 5.0f, 1.0f, 1.0f);
            intromenu* presents = new intromenu("data/titles/presents.png", 3.0f, 1.0f, 1.0f);
            intromenu* team = new intromenu("data/titles/team.png", 4.0f, 1.0f, 1.0f);
            root->openSubMenu(name);
            name->openSubMenu(presents);
            presents->openSubMenu(team);
        }
        root->setBackground("data/titles/mainmenu_bg.png");
        playMusic("data/music/menu_01.xm");
    }
    gameobject* shown() override { return root; }
    void step(int n) override
    {
        g_voltage = musicPulse(n);
        stepScreens(*root, STEP);
        // the menu: a new transition every second, as a player moving between screens sees
        if (skipTitles && n % 50 == 49)
            root->fade = 1.0f;
    }
    void end() override
    {
        closeOpenScreens(root);
        delete root;
        root = nullptr;
        g_feedback = g_shake = g_mix = 0;
        g_voltage = 0;
    }
};

// A recorded match of four computer players, begun as "Start!" begins it; optionally a scored
// point every 1.2 s (shake, then 0.6 s of slow motion at the net with its zoom feedback) or
// 256 debug particles a step.
class matchScene : public loopScene {
public:
    enum kind { RALLY, POINT, PARTICLES };
    kind what;
    game* match = nullptr;
    mainmenu* settings = nullptr;

    explicit matchScene(kind k) : what(k) { inMatch = true; }

    void begin() override
    {
        seedScene(11);
        g_feedback = g_shake = 0;
        settings = new mainmenu();
        match = beginMatch(new game(), *settings);
        // into the rally, past the serve
        for (int i = 0; i < 150; i++)
            stepMatch(*match, *settings);
        if (what == PARTICLES) {
            match->debugParticles = 256;
            // the rain reaches its steady state before it is measured
            for (int i = 0; i < 60; i++) {
                beginFrame();
                match->draw();
                stepMatch(*match, *settings);
            }
        }
    }
    gameobject* shown() override { return match; }
    // both teams jump at the net over the ball: the match's own slow-motion test sets in
    void atTheNet()
    {
        for (int i : { 0, 2 }) {
            player* p = match->players[i];
            p->pos = vector3d(i == 0 ? -5.0f : 5.0f, -15, 0);
            p->vel = vector3d(0, -10, 0);   // still rising
            p->state = player::MOVE_JUMPING;
        }
        match->theBall->pos = vector3d(0, -60, 0);
        match->theBall->vel = vector3d();
        match->state = game::STATE_PLAYING;
    }
    void step(int n) override
    {
        if (what == POINT && n % 60 == 0) {
            match->teamScore(n / 60 % 2);
            match->score[0] = match->score[1] = 0;   // never ends the round
        }
        if (what == POINT && n % 60 < 30)
            atTheNet();
        stepMatch(*match, *settings);
    }
    void end() override
    {
        match = leaveMatch(match, *settings);
        g_thegame = nullptr;
        delete match;
        match = nullptr;
        delete settings;
        settings = nullptr;
        g_feedback = g_shake = 0;
    }
};

// --shots DIR: frame 70 of each scene into DIR/<scene>.ppm, to compare pictures before and
// after a change (with ImageMagick's compare)
std::string g_shotDir;

void writeShot(const std::string& name)
{
    // the frame as keepFrame copied it into g_buff, bottom row first
    std::vector<unsigned char> rgb((size_t)bufsize * bufsize * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glBindTexture(GL_TEXTURE_2D, g_buff);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    FILE* f = fopen((g_shotDir + "/" + name + ".ppm").c_str(), "wb");
    if (!f)
        return;
    fprintf(f, "P6\n%d %d\n255\n", screen_width, screen_height);
    const size_t row = (size_t)bufsize * 3;
    for (int y = screen_height - 1; y >= 0; y--)
        fwrite(rgb.data() + y * row, 1, (size_t)screen_width * 3, f);
    fclose(f);
}

frameStats run(scene& s, int frames, const char* name = nullptr)
{
    frames = s.length(frames);
    s.begin();
    // two frames unmeasured: the first uploads and compiles what it draws
    for (int i = 0; i < 2; i++)
        s.frame(i);
    frameStats st;
    const double c0 = cpuMs();
    for (int i = 0; i < frames; i++) {
        const double t0 = wallMs();
        s.frame(i + 2);
        st.work.push_back(wallMs() - t0);
        if (i == 70 && name && !g_shotDir.empty())
            writeShot(name);   // the frame just shown
    }
    st.cpu = cpuMs() - c0;
    s.end();
    return st;
}

struct pacedStats {
    double speed = 0;   // game seconds per real second
    double late = 0;    // % of drawn frames that ran more than one step
    double fps = 0;     // drawn frames per real second
};

// The scene's steps through the real loop: the schedule, the catch-up and the sleep. Game time
// is the steps taken, real time runs from the first frame to the moment the next step is due.
pacedStats runPaced(loopScene& s, int frames)
{
    const int steps = s.length(frames);
    s.begin();
    s.frame(0);   // the first frame uploads and compiles what it draws
    stepclock pace;
    const unsigned t0 = SDL_GetTicks();
    pace.restart(t0);
    int taken = 0, drawn = 0, late = 0;
    while (taken < steps) {
        const int owed = pace.owed(SDL_GetTicks(), MAX_STEPS_PER_FRAME);
        late += owed > 1;
        showFrame(s.shown());
        drawn++;
        for (int i = 0; i < owed && taken < steps; i++)
            s.takeStep(1 + taken++);
        pace.wait();
    }
    const double real = std::max(1u, SDL_GetTicks() - t0) / 1000.0;
    s.end();
    pacedStats st;
    st.speed = taken * STEP / real;
    st.late = 100.0 * late / drawn;
    st.fps = drawn / real;
    return st;
}

std::string loadAverage()
{
    char text[64] = "?";
    FILE* f = fopen("/proc/loadavg", "r");
    if (f) {
        if (!fgets(text, sizeof text, f))
            text[0] = 0;
        fclose(f);
    }
    std::string s(text);
    const size_t end = s.find(' ', s.find(' ', s.find(' ') + 1) + 1);   // the three averages
    return s.substr(0, end);
}

// resident memory of the process in kB, 0 when it cannot be read
long residentKb()
{
    FILE* f = fopen("/proc/self/status", "r");
    if (!f)
        return 0;
    char line[256];
    long kb = 0;
    while (fgets(line, sizeof(line), f))
        if (sscanf(line, "VmRSS: %ld", &kb) == 1)
            break;
    fclose(f);
    return kb;
}

double quantile(std::vector<double> v, double q)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    size_t i = (size_t)(q * (v.size() - 1) + 0.5);
    return v[std::min(i, v.size() - 1)];
}

double median(const std::vector<double>& v)
{
    return quantile(v, 0.5);
}

// playfield::reset (sand fill, old prints, the venue), median of five: wall and CPU ms
void sandReset(double& wall, double& cpu)
{
    seedScene(3);
    game* g = new game();
    g_thegame = g;
    std::vector<double> t, c;
    for (int i = 0; i < 5; i++) {
        const double t0 = wallMs(), c0 = cpuMs();
        g->theField->reset();
        t.push_back(wallMs() - t0);
        c.push_back(cpuMs() - c0);
    }
    g_thegame = nullptr;
    delete g;
    wall = median(t);
    cpu = median(c);
}

struct row {
    std::vector<double> med, p90, cpu, over, cpuRatio, medRatio;
    std::vector<double> paced;   // s of real time at the game's pace, all frames
};

}

// the unpaced table: floor and scene alternately, round by round
template <class named>
void measure(floorScene& floorS, const std::vector<named>& scenes, int frames, int rounds,
             const std::string& only, const std::string& loadBefore)
{
    std::map<std::string, row> rows;
    std::vector<double> resets, resetCpu, resetRatio;
    for (int r = 0; r < rounds; r++) {
        for (const named& n : scenes) {
            // the floor right before each scene, so both see the same machine
            frameStats f = run(floorS, frames);
            frameStats s = run(*n.s, frames, r == 0 ? n.name : nullptr);
            row& out = rows[n.name];
            const double fcpu = f.cpu / f.work.size(), scpu = s.cpu / s.work.size();
            double paced = 0;
            for (double w : s.work)
                paced += std::max(w, FRAME_MS) / 1000.0;
            out.paced.push_back(paced);
            out.med.push_back(median(s.work));
            out.p90.push_back(quantile(s.work, 0.9));
            out.cpu.push_back(scpu);
            out.over.push_back(100.0 * std::count_if(s.work.begin(), s.work.end(),
                                                     [](double w) { return w > FRAME_MS; }) /
                               s.work.size());
            out.cpuRatio.push_back(scpu / fcpu);
            out.medRatio.push_back(median(s.work) / median(f.work));
            rows["floor"].med.push_back(median(f.work));
            rows["floor"].p90.push_back(quantile(f.work, 0.9));
            rows["floor"].cpu.push_back(fcpu);
            rows["floor"].over.push_back(0);
            rows["floor"].cpuRatio.push_back(1);
            rows["floor"].medRatio.push_back(1);
            fprintf(stderr, "round %d %-9s cpu %.2f ms/frame, floor %.2f ms/frame, resident %ld kB\n",
                    r + 1, n.name, scpu, fcpu, residentKb());
        }
        if (only.empty() || only.find(",reset,") != std::string::npos) {
            frameStats f = run(floorS, frames);
            double wall = 0, cpu = 0;
            sandReset(wall, cpu);
            resets.push_back(wall);
            resetCpu.push_back(cpu);
            resetRatio.push_back(cpu / (f.cpu / f.work.size()));
        }
    }

    printf("%dx%d, %d frames a scene, %d interleaved rounds; medians over the rounds; load "
           "average %s before, %s after\n", screen_width, screen_height, frames, rounds,
           loadBefore.c_str(), loadAverage().c_str());
    printf("%-10s %9s %9s %9s %8s %11s %11s\n", "scene", "work ms", "p90 ms", "cpu ms", ">20ms %",
           "cpu/floor", "work/floor");
    std::vector<std::string> order = { "floor" };
    for (const named& n : scenes)
        order.push_back(n.name);
    for (const std::string& name : order) {
        if (!rows.count(name))
            continue;
        const row& r = rows[name];
        printf("%-10s %9.2f %9.2f %9.2f %8.1f %11.2f %11.2f\n", name.c_str(), median(r.med),
               median(r.p90), median(r.cpu), median(r.over), median(r.cpuRatio),
               median(r.medRatio));
    }
    if (rows.count("title")) {
        // the three title pictures last 600 frames of game time; a frame takes at least 20 ms
        const row& r = rows["title"];
        printf("title pictures: %.1f s of real time for their 12 s of game time\n",
               median(r.paced));
    }
    if (rows.count("particles") && rows.count("rally"))
        printf("particles / rally cpu: %.2f\n",
               median(rows["particles"].cpu) / median(rows["rally"].cpu));
    if (!resets.empty())
        printf("sand reset: %.1f ms CPU (%.2f floor frames of CPU), %.1f ms wall\n",
               median(resetCpu), median(resetRatio), median(resets));

}

int main(int argc, char** argv)
{
    int frames = 200, rounds = 3;
    bool paced = false;
    const char* daytime = nullptr;
    std::string only;
    for (int i = 1; i < argc; i++) {
        if (!strcmp(argv[i], "--frames") && i + 1 < argc)
            frames = std::max(10, atoi(argv[++i]));
        else if (!strcmp(argv[i], "--rounds") && i + 1 < argc)
            rounds = std::max(1, atoi(argv[++i]));
        else if (!strcmp(argv[i], "--shots") && i + 1 < argc)
            g_shotDir = argv[++i];
        else if (!strcmp(argv[i], "--scenes") && i + 1 < argc)
            only = std::string(",") + argv[++i] + ",";
        else if (!strcmp(argv[i], "--paced"))
            paced = true;
        else if (!strcmp(argv[i], "--daytime") && i + 1 < argc)
            daytime = argv[++i];
    }
    if (!checkSizeSwitch(argc, argv))
        return 1;
    readSwitches(argc, argv);   // the size switches, as the game reads them
    SDL_Init(SDL_INIT_VIDEO | SDL_INIT_AUDIO);
    openWindow(true);
    openConfigStore();
    // the scenes' main menus read the time of day from the settings, as the game does
    if (daytime)
        g_config->Write("game/timeofday", atoi(daytime));
    initSound();
    // the mixer plays on; the music level the title pictures pulse with is fixed instead
    // (musicPulse), so two runs draw the same frames
    Mix_SetPostMix(nullptr, nullptr);
    GLInitFreeType();
    SDL_InitSubSystem(SDL_INIT_JOYSTICK);
    openJoysticks();
    SDL_JoystickEventState(SDL_ENABLE);
    reserveTexture(&g_buff, bufsize, bufsize, true);
    static controller keys[2], joys[4];
    for (int i = 0; i < 2; i++)
        g_keys[i] = &keys[i];
    for (int i = 0; i < 4; i++)
        g_joys[i] = &joys[i];

    floorScene floorS;
    titleScene title(false), menuS(true);
    matchScene rally(matchScene::RALLY), point(matchScene::POINT),
        rain(matchScene::PARTICLES);
    struct named { const char* name; loopScene* s; };
    std::vector<named> scenes = { { "title", &title }, { "menu", &menuS }, { "rally", &rally },
                                  { "point", &point }, { "particles", &rain } };
    if (!only.empty()) {
        std::vector<named> kept;
        for (const named& n : scenes)
            if (only.find(std::string(",") + n.name + ",") != std::string::npos)
                kept.push_back(n);
        scenes = kept;
    }
    const std::string loadBefore = loadAverage();

    if (paced) {
        std::map<std::string, std::vector<double>> speed, late, fps;
        for (int r = 0; r < rounds; r++) {
            for (const named& n : scenes) {
                const pacedStats st = runPaced(*n.s, frames);
                speed[n.name].push_back(st.speed);
                late[n.name].push_back(st.late);
                fps[n.name].push_back(st.fps);
                fprintf(stderr, "round %d %-9s %.3f game s per real s, %.1f %% late, %.1f fps\n",
                        r + 1, n.name, st.speed, st.late, st.fps);
            }
        }
        printf("paced, %dx%d, %d steps a scene (title: 600), %d interleaved rounds; load average "
               "%s before, %s after\n", screen_width, screen_height, frames, rounds,
               loadBefore.c_str(), loadAverage().c_str());
        printf("%-10s %14s %8s %9s\n", "scene", "game s/real s", "late %", "frames/s");
        for (const named& n : scenes)
            printf("%-10s %14.3f %8.1f %9.1f\n", n.name, median(speed[n.name]),
                   median(late[n.name]), median(fps[n.name]));
    } else {
        measure(floorS, scenes, frames, rounds, only, loadBefore);
    }

    g_thegame = nullptr;
    stopMusic();
    deinitSound();
    closeConfigStore();
    GLDeinitFreeType();
    SDL_Quit();
    return 0;
}
