// The list of replays: summaries from headers and the folder's index, damaged files listed and
// never played, kept replays out of the pruning's reach, deleting only after a confirmation.
#include <cstdio>
#include <string>
#include <vector>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <SDL/SDL_keysym.h>
#include <gtest/gtest.h>
#include <wx/filefn.h>
#include "controller.h"
#include "game.h"
#include "main.h"
#include "mainmenu.h"
#include "random.h"
#include "replay.h"
#include "replaylist.h"
#include "replaysmenu.h"
#include "support.h"
#include "textrender.h"

namespace {

class ReplayList : public ::testing::Test {
protected:
    static controller devices[6];
    std::string folder;

    static void SetUpTestSuite() { testsupport::openGameSuite(devices); }
    static void TearDownTestSuite() { testsupport::closeGameSuite(); }
    void SetUp() override
    {
        if (!g_thegame)
            GTEST_SKIP() << "no display";
        folder = testsupport::makeTempDir();
    }

    // a replay of a header alone, recorded with the mode and time of day given
    std::string replay(const std::string& name, int mode, int daytime)
    {
        replayheader h;
        h.settings = { { "game/gamemode", std::to_string(mode) },
                       { "game/timeofday", std::to_string(daytime) } };
        seedGenerators(seedsFromNumber(3));
        saveRandomState(h.randoms);
        const std::string path = folder + "/" + name;
        replayrecorder rec;
        EXPECT_TRUE(rec.open(path, h));
        return path;
    }
    static std::string dated(int day)
    {
        char name[64];
        snprintf(name, sizeof name, "2026-01-%02d_10-00-00.tibrelreplay", day);
        return name;
    }
    static bool exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }
};

controller ReplayList::devices[6];

std::vector<std::string> names(const replaylist& l)
{
    std::vector<std::string> out;
    for (const replaysummary& e : l.entries)
        out.push_back(e.name);
    return out;
}

}

TEST_F(ReplayList, NewestFirstFromTheHeadersDamagedListedNeverPlayed)
{
    replay(dated(3), 2, 3);
    replay(dated(1), 0, 0);
    replay(dated(2), 1, 2);
    testsupport::writeFile(folder + "/" + dated(4), "TIBRELRP but nothing a header needs");
    testsupport::writeFile(folder + "/notes.txt", "mine");
    ASSERT_EQ(mkdir((folder + "/folder.tibrelreplay").c_str(), 0700), 0);
    ASSERT_EQ(symlink((folder + "/" + dated(1)).c_str(), (folder + "/" + dated(5)).c_str()), 0);

    const replaylist l(folder);
    // links, folders and other files are not listed
    ASSERT_EQ(names(l), std::vector<std::string>({ dated(4), dated(3), dated(2), dated(1) }));
    EXPECT_TRUE(l.entries[0].damaged);
    EXPECT_FALSE(l.entries[1].damaged);
    EXPECT_EQ(l.entries[1].gameMode, 2);
    EXPECT_EQ(l.entries[1].timeOfDay, 3);
    EXPECT_EQ(l.entries[3].gameMode, 0);
    EXPECT_EQ(l.entries[2].timeOfDay, 2);
    EXPECT_EQ(l.entries[1].when, replayNameTime(dated(3)));

    // the screen refuses the damaged one with a reason and hands the others over
    mainmenu owner;
    replaysmenu screen(owner, folder);
    screen.cursor = 0;
    screen.onGo(0);
    EXPECT_EQ(owner.watch, nullptr);
    EXPECT_EQ(owner.result, 0);
    EXPECT_NE(screen.status.Find("damaged"), wxNOT_FOUND) << screen.status;
    screen.onGo(1);
    ASSERT_NE(owner.watch, nullptr);
    EXPECT_EQ(owner.result, 2);
    EXPECT_EQ(owner.watchName, folder + "/" + dated(3));
}

TEST_F(ReplayList, AnEmptyOrMissingFolderListsNothing)
{
    EXPECT_TRUE(replaylist(folder).entries.empty());
    EXPECT_TRUE(replaylist(folder + "/none").entries.empty());
    EXPECT_TRUE(replaylist("").entries.empty());
    mainmenu owner;
    replaysmenu screen(owner, folder);
    ASSERT_EQ(screen.items.size(), 1u) << "\"Back\" alone";
    EXPECT_EQ(screen.selected(), -1);
}

TEST_F(ReplayList, TheIndexSparesReadingTheFilesAndADamagedIndexCostsNothing)
{
    const std::string path = replay(dated(1), 2, 1);
    EXPECT_EQ(replaylist(folder).entries.at(0).gameMode, 2);

    // the same size and time: the index is believed, the file not opened again
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    testsupport::writeFile(path, std::string(static_cast<size_t>(st.st_size), 'x'));
    const timespec times[2] = { st.st_atim, st.st_mtim };
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    replaysummary e = replaylist(folder).entries.at(0);
    EXPECT_FALSE(e.damaged);
    EXPECT_EQ(e.gameMode, 2);

    // a changed file is read again
    testsupport::writeFile(path, "changed");
    EXPECT_TRUE(replaylist(folder).entries.at(0).damaged);

    // a damaged index: every file is summarised from its header again
    replay(dated(2), 1, 3);
    testsupport::writeFile(folder + "/.index",
                           "tibrel replay index 1\n" + dated(2) + "\t1\t2\tnot numbers\n\x01\x02\n");
    const replaylist l(folder);
    ASSERT_EQ(l.entries.size(), 2u);
    EXPECT_EQ(l.entries[0].gameMode, 1);
    EXPECT_EQ(l.entries[0].timeOfDay, 3);
    EXPECT_TRUE(l.entries[1].damaged);
}

TEST_F(ReplayList, HowARecordedMatchEndedIsShownOnItsLine)
{
    const std::string path = replay(dated(1), 1, 0);
    replay(dated(2), 2, 3);
    game& g = *g_thegame;
    g.state = game::STATE_MATCHOVER;
    g.roundsWon[0] = 2;
    g.roundsWon[1] = 1;
    noteRecordedReplay(path, 3000, g);   // one minute
    g.state = game::STATE_SERVING;
    g.roundsWon[0] = g.roundsWon[1] = 0;

    const replaylist l(folder);
    ASSERT_EQ(l.entries.size(), 2u);
    const wxString finished = replaysmenu::describe(l.entries[1]);
    EXPECT_EQ(finished.Mid(16), "   Arcade   Morning   2-1   1 min") << finished;
    const wxString unfinished = replaysmenu::describe(l.entries[0]);
    EXPECT_EQ(unfinished.Mid(16), "   Extreme!   Night   unfinished   <1 min") << unfinished;
    replaysummary d;
    d.damaged = d.kept = true;
    EXPECT_EQ(replaysmenu::describe(d).Mid(16), "   damaged   (kept)");
}

TEST_F(ReplayList, ALengthIsCountedFromTheFileWhenNoIndexKnowsIt)
{
    // 600 steps, with seat 0 handed to keyboard 1 and back to the computer on the way
    replayheader h;
    h.settings = { { "game/gamemode", "0" } };
    saveRandomState(h.randoms);
    const std::string path = folder + "/" + dated(1);
    replayrecorder rec;
    ASSERT_TRUE(rec.open(path, h));
    game& g = *g_thegame;
    for (int i = 0; i < 600; i++) {
        if (i == 100 || i == 400)
            g.setController(0, i == 100 ? g_keys[0] : nullptr);
        rec.beforeStep(g);
        g.step(0.02f);
        rec.afterStep(g);
    }
    rec.close(g);
    const replaylist l(folder);
    ASSERT_EQ(l.entries.size(), 1u);
    EXPECT_EQ(l.entries[0].steps, 600u);
}

TEST_F(ReplayList, KeptReplaysSurviveThePruningUntilUnkept)
{
    for (int day = 1; day <= 3; day++)
        replay(dated(day), 1, 1);
    replaylist l(folder);
    std::string error;
    ASSERT_TRUE(l.setKept(2, true, error)) << error;   // the oldest
    EXPECT_TRUE(exists(keptReplayFolder(folder) + "/" + dated(1)));
    EXPECT_FALSE(exists(folder + "/" + dated(1)));

    for (int day = 4; day <= 28; day++)
        replay(dated(day), 1, 1);
    pruneReplays(folder, 20);
    l.refresh();
    ASSERT_EQ(l.entries.size(), 21u);
    EXPECT_EQ(l.entries.back().name, dated(1));
    EXPECT_TRUE(l.entries.back().kept);
    EXPECT_NE(replaysmenu::describe(l.entries.back()).Find("(kept)"), wxNOT_FOUND);

    ASSERT_TRUE(l.setKept(20, false, error)) << error;
    EXPECT_TRUE(exists(folder + "/" + dated(1)));
    pruneReplays(folder, 20);
    EXPECT_FALSE(exists(folder + "/" + dated(1)));
}

TEST_F(ReplayList, DeleteAsksFirstAndEscapeKeeps)
{
    replay(dated(1), 1, 1);
    replay(dated(2), 1, 1);
    controller pad;
    mainmenu owner;
    owner.setController(&pad);
    replaysmenu* screen = new replaysmenu(owner, folder);
    owner.openSubMenu(screen);
    screen->cursor = 1;

    // any other key answers the question and keeps the replay
    EXPECT_TRUE(screen->onKey(SDLK_DELETE));
    EXPECT_TRUE(screen->confirming);
    EXPECT_FALSE(screen->onKey(SDLK_UP));
    EXPECT_FALSE(screen->confirming);
    EXPECT_TRUE(exists(folder + "/" + dated(1)));

    // the cursor moved away: Return watches nothing and deletes nothing
    screen->onKey(SDLK_DELETE);
    screen->onGo(0);
    EXPECT_TRUE(exists(folder + "/" + dated(1)));
    EXPECT_TRUE(exists(folder + "/" + dated(2)));
    EXPECT_EQ(owner.result, 0);

    screen->cursor = 1;
    screen->onKey(SDLK_DELETE);
    screen->onGo(1);
    EXPECT_FALSE(exists(folder + "/" + dated(1)));
    EXPECT_TRUE(exists(folder + "/" + dated(2)));
    ASSERT_EQ(screen->list.entries.size(), 1u);
    EXPECT_EQ(screen->items.size(), 3u) << "one replay, a separator and \"Back\"";

    // Escape while asked: the replay stays and the screen is left, as every screen is
    screen->cursor = 0;
    screen->onKey(SDLK_DELETE);
    screen->onKey(SDLK_ESCAPE);
    pad.button[BUTTON_BACK] = true;
    screen->step(0.02f);
    EXPECT_EQ(owner.subMenu, nullptr) << "Escape goes back";
    EXPECT_TRUE(exists(folder + "/" + dated(2)));
}

TEST_F(ReplayList, ALongStatusKeepsItsHeadAndTheFileName)
{
    if (!wxFileExists("data/Tuffy_Bold.ttf"))
        GTEST_SKIP() << "data/Tuffy_Bold.ttf not generated";
    GLInitFreeType();
    const wxString written = "Video written: /home/someone/.local/share/tibrel/replays/kept/"
                             "2026-12-11_01-02-33.mp4";
    const int width = GLTextWidth(0, L"%ls", (const wchar_t*)written.wc_str()) / 2;
    ASSERT_GT(width, 0) << "the font is loaded";
    const wxString line = replaysmenu::fitted(written, width);
    EXPECT_LE(GLTextWidth(0, L"%ls", (const wchar_t*)line.wc_str()), width);
    EXPECT_TRUE(line.StartsWith("Video written: ...")) << line;
    EXPECT_TRUE(line.EndsWith("/2026-12-11_01-02-33.mp4")) << line;
    EXPECT_EQ(replaysmenu::fitted("Deleted.", width), "Deleted.");
    GLDeinitFreeType();
}

TEST(ReplayListScroll, TheCursorStaysInView)
{
    const int rows = replaysmenu::VISIBLE_ROWS;
    struct { int cursor, count, first; } cases[] = {
        { 0, 5, 0 }, { 4, 5, 0 }, { 0, 500, 0 }, { rows / 2, 500, 0 },
        { 250, 500, 250 - rows / 2 }, { 499, 500, 500 - rows }, { 500, 500, 500 - rows },
    };
    for (const auto& c : cases) {
        const int first = replaysmenu::firstShown(c.cursor, c.count);
        EXPECT_EQ(first, c.first) << "cursor " << c.cursor << " of " << c.count;
        if (c.cursor < c.count) {
            EXPECT_LE(first, c.cursor);
            EXPECT_LT(c.cursor, first + rows);
        }
    }
}
