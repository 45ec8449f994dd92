#ifndef TIBREL_REPLAYLIST_H
#define TIBREL_REPLAYLIST_H

#include <string>
#include <vector>

class game;

// What the list of replays shows of one file, without playing it.
struct replaysummary {
    std::string name;        // file name ("2026-12-10_14-05-09.tibrelreplay")
    bool kept = false;       // in the kept/ folder, which the keep-the-newest rule never prunes
    bool damaged = false;    // its header cannot be read: listed, never played
    long long when = 0;      // when the match began, seconds since 1970
    int gameMode = -1;       // 0 Classic, 1 Arcade, 2 Extreme!; -1 unknown
    int timeOfDay = -1;      // 0 Morning ... 3 Night; -1 unknown
    bool finished = false;   // the match was played to its end
    int rounds[2] = { 0, 0 };
    unsigned steps = 0;      // of 0.02 s
    long long size = 0;      // the file as summarised: a changed file is read again
    long long mtime = 0;     // nanoseconds
};

// The replays in a folder and in its kept/ folder, newest first. Each file is summarised from
// its header once; the summaries are kept in a small index file in the folder, so a folder of
// hundreds of replays is listed with one look at each file's size and time.
class replaylist {
public:
    std::vector<replaysummary> entries;

    explicit replaylist(const std::string& folder);
    // reads the folder again
    void refresh();
    std::string pathOf(const replaysummary& e) const;
    // moves entry i into kept/ or back; false with a one-line reason
    bool setKept(size_t i, bool keep, std::string& error);
    // deletes the file of entry i; false with a one-line reason
    bool remove(size_t i, std::string& error);

private:
    std::string folder;
};

// the folder kept replays live in, below folder
std::string keptReplayFolder(const std::string& folder);
// After a recording is closed: how the match ended goes into the index of the file's folder,
// so the list can show the final score without playing the file.
void noteRecordedReplay(const std::string& path, unsigned steps, const game& g);
// the start time in a replay's file name, or -1 when it holds none
long long replayNameTime(const std::string& name);

#endif
