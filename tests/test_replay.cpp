// Replays: a match driven by scripted human input is recorded and played back step for step;
// bad files are refused with a reason or played up to the damage, never past a buffer.
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <wx/config.h>
#include <gtest/gtest.h>
#include "controller.h"
#include "game.h"
#include "main.h"
#include "random.h"
#include "replay.h"
#include "support.h"

namespace {

const float STEP = 0.02f;

struct trace {
    std::vector<std::string> events;
    std::vector<unsigned long long> hashes;
};

void note(trace& t, int step, const game& g)
{
    char line[128];
    snprintf(line, sizeof line, "call %d %s, state %d, score %d-%d, rounds %d-%d", g.pendingEvent,
             g.pendingDelay > 0 ? "up" : "down", g.state, g.score[0], g.score[1], g.roundsWon[0],
             g.roundsWon[1]);
    if (t.events.empty() || t.events.back().substr(t.events.back().find(':') + 2) != line) {
        t.events.push_back(std::to_string(step) + ": " + line);
        t.hashes.push_back(const_cast<game&>(g).stateHash());
    }
}

// What the two humans do: keyboard 1 runs, jumps and hits; joystick 1 sweeps its stick.
void script(int i, controller& keys, controller& stick)
{
    keys.right = (i / 40) % 2 == 0;
    keys.left = !keys.right && (i / 55) % 3 == 0;
    keys.up = (i / 70) % 2 == 1;
    keys.button[1] = i % 30 < 3;
    keys.button[0] = i % 90 >= 10 && i % 90 < 14;
    stick.axisX = ((i / 5) * 4999) % 65536 - 32768;
    stick.axisY = (i / 25) % 3 == 0 ? 0 : -20000;
    stick.button[1] = i % 25 < 2;
}

class Replay : public ::testing::Test {
protected:
    controller keys[2];
    controller joys[4];
    game* g = nullptr;
    std::string dir;
    bool humans = true;   // false: all four players are the computer's

    void SetUp() override
    {
        ASSERT_TRUE(testsupport::openGLContext()) << "needs a display, e.g. xvfb-run";
        testsupport::openConfig();
        for (int i = 0; i < 2; i++)
            g_keys[i] = &keys[i];
        for (int i = 0; i < 4; i++)
            g_joys[i] = &joys[i];
        dir = testsupport::makeTempDir();
    }

    void TearDown() override
    {
        endMatch();
        testsupport::unplugDevices();
    }

    // a fresh Arcade match from the generators' state s; player one on keyboard 1, player
    // four on joystick 1, the other two computer players
    void newMatch(const randomstate& s)
    {
        endMatch();
        restoreRandomState(s);
        g = new game();
        g_thegame = g;
        g->gameMode = 1;
        if (humans) {
            g->setController(0, g_keys[0]);
            g->setController(3, g_joys[0]);
        }
    }

    void endMatch()
    {
        g_thegame = nullptr;
        delete g;
        g = nullptr;
    }

    // records steps of scripted play into path, the humans holding their controllers still
    // from step stillFrom to stillTo; the trace of what happened
    trace record(const std::string& path, int steps, int stillFrom = -1, int stillTo = -1)
    {
        seedGenerators(seedsFromNumber(7));
        replayheader h;
        saveRandomState(h.randoms);
        h.settings = replaySettings(g_config);
        newMatch(h.randoms);
        replayrecorder rec;
        EXPECT_TRUE(rec.open(path, h));
        trace t;
        for (int i = 0; i < steps; i++) {
            if (i < stillFrom || i >= stillTo)
                script(i, keys[0], joys[0]);
            if (i == 300)
                g->debugParticles = 12;   // F1 pressed a dozen times
            rec.beforeStep(*g);
            g->step(STEP);
            rec.afterStep(*g);
            note(t, i, *g);
        }
        rec.close(*g);
        return t;
    }

    // plays path back as the game does; what happened and how it ended
    replayplayer::result playBack(const std::string& path, trace& t, replayplayer& p,
                                  int changeModeAt = -1)
    {
        std::string error;
        EXPECT_TRUE(p.load(path, error)) << error;
        newMatch(p.header.randoms);
        g->debugParticles = p.header.debugParticles;
        controller* devices[REPLAY_DEVICES];
        replayDevices(devices);
        for (int i = 0;; i++) {
            // keys pressed while watching must change nothing
            keys[0].left = keys[0].right = true;
            joys[0].button[0] = true;
            if (i == changeModeAt)
                g->gameMode = 2;
            const replayplayer::result r = p.beforeStep(*g, devices);
            if (r != replayplayer::GO)
                return r;
            g->step(STEP);
            note(t, i, *g);
        }
    }

    std::string file(const std::string& name) const { return dir + "/" + name; }
};

using testsupport::readAll;

unsigned fnv32(const std::string& s, size_t from, size_t n)
{
    unsigned h = 2166136261u;
    for (size_t i = from; i < from + n; i++)
        h = (h ^ static_cast<unsigned char>(s[i])) * 16777619u;
    return h;
}

void putU32(std::string& s, size_t at, unsigned v)
{
    for (int i = 0; i < 4; i++)
        s[at + i] = static_cast<char>((v >> (8 * i)) & 0xff);
}

unsigned getU32(const std::string& s, size_t at)
{
    unsigned v = 0;
    for (int i = 0; i < 4; i++)
        v |= static_cast<unsigned>(static_cast<unsigned char>(s[at + i])) << (8 * i);
    return v;
}

// byte offsets of the chunks of a whole replay file (its header is the rest)
std::vector<size_t> chunkStarts(const std::string& s)
{
    // the header ends where the first 'K' whose length and checksum hold begins
    std::vector<size_t> starts;
    for (size_t at = 0; at + 9 <= s.size(); at++) {
        if (s[at] != 'K')
            continue;
        const unsigned len = getU32(s, at + 1);
        if (at + 9 + len <= s.size() && getU32(s, at + 5 + len) == fnv32(s, at + 5, len)) {
            for (size_t c = at; c < s.size(); c += 9 + getU32(s, c + 1))
                starts.push_back(c);
            break;
        }
    }
    return starts;
}

}

TEST_F(Replay, ScriptedHumanMatchPlaysBackStepForStep)
{
    const int steps = 1000;
    const std::string path = file("scripted.tibrelreplay");
    const trace original = record(path, steps);
    ASSERT_GE(original.events.size(), 6u) << "the script should make a few calls";

    trace again;
    replayplayer p;
    const replayplayer::result r = playBack(path, again, p);
    EXPECT_EQ(r, replayplayer::END) << p.message();
    EXPECT_EQ(p.message(), "");
    EXPECT_EQ(p.stepsPlayed(), static_cast<unsigned>(steps));
    ASSERT_EQ(again.events, original.events);
    EXPECT_EQ(again.hashes, original.hashes);

    printf("[ replay   ] %d steps (%.0f s of play) in %zu bytes\n", steps, steps * STEP,
           readAll(path).size());
}

// Seconds in which no input changes leave only step counts in the file, whole chunks of them:
// held controllers and a match without humans play back to the end all the same.
TEST_F(Replay, StretchesWithoutAnInputChangePlayBackToTheEnd)
{
    struct row {
        const char* what;
        bool humans;
        int stillFrom, stillTo;
    } rows[] = {
        { "humans holding still for 16 s", true, 100, 900 },
        { "the computer only", false, -1, -1 },
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.what);
        humans = r.humans;
        const int steps = 1200;
        const std::string path = file(std::string(r.humans ? "held" : "computer") + ".tibrelreplay");
        const trace original = record(path, steps, r.stillFrom, r.stillTo);
        trace again;
        replayplayer p;
        EXPECT_EQ(playBack(path, again, p), replayplayer::END) << p.message();
        EXPECT_EQ(p.message(), "");
        EXPECT_EQ(p.stepsPlayed(), static_cast<unsigned>(steps));
        EXPECT_EQ(again.events, original.events);
        EXPECT_EQ(again.hashes, original.hashes);
    }
}

TEST_F(Replay, AMatchThatGoesAnotherWayStopsPlayback)
{
    const std::string path = file("differs.tibrelreplay");
    record(path, 800);
    trace t;
    replayplayer p;
    // Extreme! instead of Arcade from step 100 on: power-ups come at other times
    EXPECT_EQ(playBack(path, t, p, 100), replayplayer::MISMATCH);
    EXPECT_NE(p.message().find("differs"), std::string::npos) << p.message();
    EXPECT_LT(p.stepsPlayed(), 800u);
}

TEST_F(Replay, FilesThatCannotBePlayedAreRefusedWithAReason)
{
    const std::string path = file("good.tibrelreplay");
    record(path, 120);
    const std::string good = readAll(path);
    const std::vector<size_t> chunks = chunkStarts(good);
    ASSERT_GE(chunks.size(), 2u);
    const size_t headerEnd = chunks[0];

    std::string otherFormat = good;
    putU32(otherFormat, 8, 2);
    std::string otherVersion = good;
    otherVersion[14] ^= 0x20;   // a letter of the game version's text
    std::string damagedHeader = good;
    damagedHeader[headerEnd - 100] ^= 1;   // a word of the generator state

    struct badcase {
        const char* what;
        std::string bytes;
        const char* reason;
    };
    const badcase cases[] = {
        { "empty", "", "empty" },
        { "a text file", "hello, this is not a replay\n", "not a Tibrel replay" },
        { "magic only", good.substr(0, 8), "cut short" },
        { "cut in the settings", good.substr(0, 40), "cut short" },
        { "cut in the generator state", good.substr(0, headerEnd - 50), "cut short" },
        { "cut before the checksum", good.substr(0, headerEnd - 2), "cut short" },
        { "another format", otherFormat, "format 2" },
        { "another game version", otherVersion, "recorded by" },
        { "damaged header", damagedHeader, "damaged" },
    };
    for (const badcase& c : cases) {
        const std::string p = file("bad.tibrelreplay");
        testsupport::writeFile(p, c.bytes);
        replayplayer player;
        std::string error;
        EXPECT_FALSE(player.load(p, error)) << c.what;
        EXPECT_NE(error.find(c.reason), std::string::npos) << c.what << ": " << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << "one line";
    }

    replayplayer player;
    std::string error;
    EXPECT_FALSE(player.load(file("no such file"), error));
    EXPECT_NE(error.find("cannot open"), std::string::npos) << error;
}

TEST_F(Replay, CutOrDamagedStreamPlaysUpToTheDamage)
{
    const int steps = 600;
    const std::string path = file("whole.tibrelreplay");
    const trace original = record(path, steps);
    const std::string good = readAll(path);
    const std::vector<size_t> chunks = chunkStarts(good);
    ASSERT_GE(chunks.size(), 10u);

    // cut inside the fourth chunk (a game killed while writing), and one byte of the sixth
    // chunk changed: the first three, resp. five, seconds play back exactly
    std::string cut = good.substr(0, chunks[3] + 20);
    std::string flipped = good;
    flipped[chunks[5] + 12] ^= 0x10;
    struct streamcase {
        const char* what;
        std::string bytes;
        unsigned steps;
    };
    const streamcase cases[] = {
        { "cut", cut, 3 * REPLAY_STEPS_PER_CHUNK },
        { "flipped", flipped, 5 * REPLAY_STEPS_PER_CHUNK },
    };
    for (const streamcase& c : cases) {
        const std::string p = file(std::string(c.what) + ".tibrelreplay");
        testsupport::writeFile(p, c.bytes);
        trace t;
        replayplayer player;
        EXPECT_EQ(playBack(p, t, player), replayplayer::DAMAGED) << c.what;
        EXPECT_EQ(player.stepsPlayed(), c.steps) << c.what;
        EXPECT_NE(player.message().find("played back"), std::string::npos) << player.message();
        // what was played is the original's beginning
        ASSERT_LE(t.events.size(), original.events.size());
        for (size_t i = 0; i < t.events.size(); i++)
            EXPECT_EQ(t.events[i], original.events[i]) << c.what;
    }

    // cut exactly after a chunk: no end mark, but nothing damaged either
    const std::string p = file("ends.tibrelreplay");
    testsupport::writeFile(p, good.substr(0, chunks[4]));
    trace t;
    replayplayer player;
    EXPECT_EQ(playBack(p, t, player), replayplayer::END);
    EXPECT_EQ(player.stepsPlayed(), 4 * REPLAY_STEPS_PER_CHUNK);
    EXPECT_NE(player.message().find("without its end mark"), std::string::npos);
}

// Mutated files, some with their checksums mended so the records themselves are read: each
// is refused, or played to an end, without reading outside a buffer (the sanitizer build
// checks that) and without running away.
TEST_F(Replay, FuzzedFilesNeverRunAway)
{
    const std::string path = file("fuzz.tibrelreplay");
    record(path, 400);
    const std::string good = readAll(path);
    const std::vector<size_t> chunks = chunkStarts(good);
    ASSERT_GE(chunks.size(), 2u);

    seedDiscrete(2026);
    randomstate start;
    saveRandomState(start);
    newMatch(start);
    controller* devices[REPLAY_DEVICES];
    replayDevices(devices);
    int refused = 0, played = 0, mended = 0;
    for (int n = 0; n < 300; n++) {
        std::string bytes = good;
        const bool mend = n % 2 == 1;
        const size_t from = mend ? chunks[0] : 0;
        const int flips = 1 + randDiscrete() % 6;
        for (int k = 0; k < flips; k++) {
            const size_t at = from + randDiscrete() % (bytes.size() - from);
            bytes[at] = static_cast<char>(randDiscrete() & 0xff);
        }
        if (n % 7 == 0)
            bytes.resize(randDiscrete() % bytes.size());
        if (mend) {
            // mend every chunk's checksum that can still be found
            for (size_t c = chunks[0]; c + 9 <= bytes.size();) {
                const size_t len = getU32(bytes, c + 1);
                if (bytes[c] != 'K' || c + 9 + len > bytes.size())
                    break;
                putU32(bytes, c + 5 + len, fnv32(bytes, c + 5, len));
                c += 9 + len;
                mended++;
            }
        }
        replayplayer p;
        std::string error;
        if (!p.loadBytes(bytes, error)) {
            refused++;
            EXPECT_FALSE(error.empty());
            continue;
        }
        played++;
        // the match is not stepped: only the reading is under test here
        int guard = 0;
        while (p.beforeStep(*g, devices) == replayplayer::GO && guard < 10000)
            guard++;
        EXPECT_LT(guard, 10000) << "case " << n;
        EXPECT_LE(p.stepsPlayed(), 400u);
    }
    EXPECT_GT(refused, 0);
    EXPECT_GT(played, 0);
    EXPECT_GT(mended, 0);
}

TEST_F(Replay, FolderNamesAndTheLastTwentyKept)
{
    const std::string data = dir + "/data";
    setenv("XDG_DATA_HOME", data.c_str(), 1);
    const std::string folder = replayFolder();
    EXPECT_EQ(folder, data + "/tibrel/replays");
    EXPECT_EQ(access(folder.c_str(), W_OK), 0);

    // without XDG_DATA_HOME (or with a relative one) the folder is under the home
    setenv("XDG_DATA_HOME", "relative/path", 1);
    EXPECT_EQ(replayFolder(), testsupport::tempHome() + "/.local/share/tibrel/replays");
    unsetenv("XDG_DATA_HOME");
    EXPECT_EQ(replayFolder(), testsupport::tempHome() + "/.local/share/tibrel/replays");

    // 25 replays, named as recorded in order; a foreign file stays
    testsupport::writeFile(folder + "/notes.txt", "mine");
    for (int i = 0; i < 25; i++) {
        char name[64];
        snprintf(name, sizeof name, "/2026-01-%02d_10-00-00.tibrelreplay", i + 1);
        testsupport::writeFile(folder + name, "x");
    }
    pruneReplays(folder, 20);
    for (int i = 0; i < 25; i++) {
        char name[64];
        snprintf(name, sizeof name, "/2026-01-%02d_10-00-00.tibrelreplay", i + 1);
        EXPECT_EQ(access((folder + name).c_str(), F_OK) == 0, i >= 5) << name;
    }
    EXPECT_EQ(access((folder + "/notes.txt").c_str(), F_OK), 0);

    // a second match in the same second gets a name of its own, sorting after the first
    const std::string a = newReplayPath(folder);
    testsupport::writeFile(a, "x");
    const std::string b = newReplayPath(folder);
    EXPECT_NE(a, b);
    EXPECT_LT(a, b);
}

// Replays come from strangers: files that are no replay file at all, or whose settings are
// not those a replay holds, are refused at once with a one-line reason.
TEST_F(Replay, HostileFilesAreRefusedAtOnce)
{
    std::string deep = "game";
    for (int i = 0; i < 8000; i++)
        deep += "/a";
    std::vector<std::pair<std::string, std::string>> many;
    for (int i = 0; i < 300; i++)
        many.push_back(std::make_pair("game/k" + std::to_string(i), "1"));
    struct hostile {
        const char* what;
        std::vector<std::pair<std::string, std::string>> settings;   // none: a special file
        const char* reason;
    };
    const hostile cases[] = {
        { "named pipe", {}, "not a regular file" },
        { "folder", {}, "not a regular file" },
        { "key 8000 levels deep", { { deep, "1" } }, "no replay has" },
        { "key of another group", { { "video/fullscreen", "1" } }, "no replay has" },
        { "key climbing out", { { "pl0/../../etc", "1" } }, "no replay has" },
        { "key one level too deep", { { "controls/player0/x", "1" } }, "no replay has" },
        { "over-long key", { { "game/" + std::string(100, 'a'), "1" } }, "no replay has" },
        { "empty name", { { "game/", "1" } }, "no replay has" },
        { "too many settings", many, "more than a replay can" },
    };
    for (const hostile& c : cases) {
        const std::string p = file(std::string("hostile ") + c.what);
        if (std::string(c.what) == "named pipe") {
            ASSERT_EQ(mkfifo(p.c_str(), 0600), 0);
        } else if (std::string(c.what) == "folder") {
            ASSERT_EQ(mkdir(p.c_str(), 0700), 0);
        } else {
            replayheader h;
            h.settings = c.settings;
            h.settings.push_back(std::make_pair("game/gamemode", "1"));
            replayrecorder rec;
            ASSERT_TRUE(rec.open(p, h)) << c.what;
        }
        replayplayer player;
        std::string error;
        EXPECT_FALSE(player.load(p, error)) << c.what;
        EXPECT_NE(error.find(c.reason), std::string::npos) << c.what << ": " << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << c.what;
        EXPECT_LT(error.size(), 200u) << c.what;
    }

    // the keys the game itself records are all accepted, and hold in the watching store
    replayheader h;
    h.settings = { { "controls/player0", "2" }, { "game/timeofday", "3" },
                   { "game/difficulty", "2" }, { "pl3/height", "1.9" },
                   { "pl1/left_shirt-2", "4" } };
    replayrecorder rec;
    ASSERT_TRUE(rec.open(file("ours.tibrelreplay"), h));
    replayplayer player;
    std::string error;
    ASSERT_TRUE(player.load(file("ours.tibrelreplay"), error)) << error;
    wxConfigBase* store = replayStore(player.header);
    EXPECT_EQ(store->Read("/game/timeofday", 0L), 3);
    EXPECT_EQ(store->Read("/game/difficulty", 0L), 2);
    EXPECT_EQ(store->Read("/pl1/left_shirt-2", 0L), 4);
    delete store;
}

// The replay folder holds other people's files, links and odd names besides the game's own
// recordings: the game creates only new files and prunes only its own.
TEST_F(Replay, FolderContentsTheGameDidNotWriteAreLeftAlone)
{
    const std::string folder = dir + "/replays";
    const std::string outside = dir + "/outside";
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    ASSERT_EQ(mkdir(outside.c_str(), 0700), 0);
    auto at = [&](const std::string& name) { return folder + "/" + name; };
    auto exists = [](const std::string& path) {
        struct stat st;
        return lstat(path.c_str(), &st) == 0;
    };

    // 25 of the game's own, the last two of one second numbered _2 and _10
    std::vector<std::string> own;
    for (int i = 0; i < 23; i++) {
        char name[64];
        snprintf(name, sizeof name, "2026-01-%02d_10-00-00.tibrelreplay", i + 1);
        own.push_back(name);
    }
    own.push_back("2026-01-23_10-00-00_2.tibrelreplay");
    own.push_back("2026-01-23_10-00-00_10.tibrelreplay");
    for (const std::string& n : own)
        testsupport::writeFile(at(n), "x");
    // what is not the game's: each must stay
    std::vector<std::string> foreign;
    for (int i = 0; i < 20; i++) {
        char name[64];
        snprintf(name, sizeof name, "my-match-%02d.tibrelreplay", i);
        foreign.push_back(name);   // a friend's copies, sorting after every date
    }
    foreign.push_back(".2025-01-01_10-00-00.tibrelreplay");    // hidden
    foreign.push_back("2025-01-01_10-00-00_1.tibrelreplay");    // a number the game never gives
    foreign.push_back("2025-01-01_10-00-00.tibrelreplay.bak");
    foreign.push_back("2025-1-01_10-00-00.tibrelreplay");
    for (const std::string& n : foreign)
        testsupport::writeFile(at(n), "y");
    testsupport::writeFile(outside + "/kept", "mine");
    ASSERT_EQ(symlink((outside + "/kept").c_str(), at("2025-01-02_10-00-00.tibrelreplay").c_str()), 0);
    ASSERT_EQ(mkfifo(at("2025-01-03_10-00-00.tibrelreplay").c_str(), 0600), 0);
    ASSERT_EQ(mkdir(at("2025-01-04_10-00-00.tibrelreplay").c_str(), 0700), 0);
    foreign.push_back("2025-01-02_10-00-00.tibrelreplay");
    foreign.push_back("2025-01-03_10-00-00.tibrelreplay");
    foreign.push_back("2025-01-04_10-00-00.tibrelreplay");

    // a new recording, as the game starts one; the spare one is never pruned, even when its
    // name sorts first (a clock set back)
    testsupport::writeFile(at("2020-01-01_00-00-00.tibrelreplay"), "new");
    pruneReplays(folder, 20, "2020-01-01_00-00-00.tibrelreplay");
    EXPECT_TRUE(exists(at("2020-01-01_00-00-00.tibrelreplay")));
    for (size_t i = 0; i < own.size(); i++)
        EXPECT_EQ(exists(at(own[i])), i >= 6) << own[i];   // 19 newest and the spare one
    for (const std::string& n : foreign)
        EXPECT_TRUE(exists(at(n))) << n;
    EXPECT_EQ(readAll(outside + "/kept"), "mine");

    // the recorder makes a new file only: not through a dangling link, not over a file there
    ASSERT_EQ(symlink((outside + "/target").c_str(), at("dangling").c_str()), 0);
    ASSERT_EQ(link((outside + "/kept").c_str(), at("hardlink").c_str()), 0);
    replayheader h;
    for (const char* name : { "dangling", "hardlink" }) {
        replayrecorder rec;
        EXPECT_FALSE(rec.open(at(name), h)) << name;
    }
    EXPECT_FALSE(exists(outside + "/target"));
    EXPECT_EQ(readAll(outside + "/kept"), "mine");
    // and the name chosen for it passes over a dangling link
    const std::string fresh = newReplayPath(folder);
    const std::string base = fresh.substr(folder.size() + 1);
    ASSERT_EQ(symlink((outside + "/target").c_str(), fresh.c_str()), 0);
    const std::string next = newReplayPath(folder);
    EXPECT_NE(next, fresh);
    EXPECT_GT(replayNameOrder(next.substr(folder.size() + 1)), replayNameOrder(base));
}

// A full disk (a file size limit here) ends a recording on a whole chunk, and a header that
// cannot be written leaves no file behind, so nothing is pruned for it.
TEST_F(Replay, AFullDiskEndsTheRecordingOnAWholeChunk)
{
    // the first match built writes the outfits' defaults into the store, which the next
    // header then holds: both recordings below must have headers of the same size
    record(file("defaults.tibrelreplay"), 1);
    const std::string whole = file("whole.tibrelreplay");
    record(whole, 400);
    const std::vector<size_t> chunks = chunkStarts(readAll(whole));
    ASSERT_GE(chunks.size(), 4u);

    struct rlimit old;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    void (*oldSignal)(int) = signal(SIGXFSZ, SIG_IGN);
    auto limitTo = [&](rlim_t bytes) {
        struct rlimit lim = old;
        lim.rlim_cur = bytes;
        return setrlimit(RLIMIT_FSIZE, &lim) == 0;
    };

    ASSERT_TRUE(limitTo(chunks[2] + 20));   // room for two chunks and a part of the third
    const std::string full = file("full.tibrelreplay");
    record(full, 400);
    ASSERT_TRUE(limitTo(chunks[0] / 2));   // not even room for the header
    replayheader h;
    replayrecorder rec;
    const bool openedOnFullDisk = rec.open(file("stub.tibrelreplay"), h);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &old), 0);
    signal(SIGXFSZ, oldSignal);

    EXPECT_EQ(readAll(full).size(), chunks[2]);
    trace t;
    replayplayer player;
    EXPECT_EQ(playBack(full, t, player), replayplayer::END);
    EXPECT_EQ(player.stepsPlayed(), 2 * REPLAY_STEPS_PER_CHUNK);
    EXPECT_FALSE(openedOnFullDisk);
    EXPECT_NE(access(file("stub.tibrelreplay").c_str(), F_OK), 0);
}
