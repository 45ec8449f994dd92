#include "replaylist.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include "game.h"
#include "replay.h"

static const char* const SUFFIX = ".tibrelreplay";
static const char* const INDEX_NAME = ".index";   // hidden: the folder shows replays only
static const char* const INDEX_FIRST_LINE = "tibrel replay index 1";

std::string keptReplayFolder(const std::string& folder)
{
    return folder + "/kept";
}

long long replayNameTime(const std::string& name)
{
    int y, mo, d, h, mi, s;
    char sep;
    if (sscanf(name.c_str(), "%4d-%2d-%2d%c%2d-%2d-%2d", &y, &mo, &d, &sep, &h, &mi, &s) != 7 ||
        sep != '_')
        return -1;
    struct tm t;
    memset(&t, 0, sizeof t);
    t.tm_year = y - 1900;
    t.tm_mon = mo - 1;
    t.tm_mday = d;
    t.tm_hour = h;
    t.tm_min = mi;
    t.tm_sec = s;
    t.tm_isdst = -1;
    const time_t when = mktime(&t);
    return when == static_cast<time_t>(-1) ? -1 : static_cast<long long>(when);
}

static bool isReplayName(const std::string& name)
{
    const size_t n = strlen(SUFFIX);
    return name.size() > n && name.compare(name.size() - n, n, SUFFIX) == 0 &&
           name.find('\t') == std::string::npos && name.find('\n') == std::string::npos;
}

// ---- the index: one line of tab-separated fields per summarised file ----

typedef std::map<std::string, replaysummary> summaries;

static bool parseNumbers(const char* text, long long* out, int count)
{
    for (int i = 0; i < count; i++) {
        char* end = nullptr;
        errno = 0;
        out[i] = strtoll(text, &end, 10);
        if (end == text || errno || (*end != '\t' && *end != '\0') || (*end == '\0' && i + 1 < count))
            return false;
        text = *end ? end + 1 : end;
    }
    return *text == '\0';
}

static summaries readIndex(const std::string& folder)
{
    summaries out;
    FILE* f = fopen((folder + "/" + INDEX_NAME).c_str(), "r");
    if (!f)
        return out;
    char line[1024];
    bool first = true;
    while (fgets(line, sizeof line, f)) {
        const size_t n = strlen(line);
        if (n == 0 || line[n - 1] != '\n')
            break;   // an over-long or cut line: the rest is not trusted
        line[n - 1] = 0;
        if (first) {
            first = false;
            if (strcmp(line, INDEX_FIRST_LINE) != 0)
                break;
            continue;
        }
        char* tab = strchr(line, '\t');
        if (!tab)
            continue;
        *tab = 0;
        replaysummary e;
        e.name = line;
        long long v[9];
        // a damaged line is dropped: its file is summarised again from its header
        if (!isReplayName(e.name) || !parseNumbers(tab + 1, v, 9))
            continue;
        e.size = v[0];
        e.mtime = v[1];
        e.damaged = v[2] != 0;
        e.gameMode = static_cast<int>(std::max(-1LL, std::min(v[3], 2LL)));
        e.timeOfDay = static_cast<int>(std::max(-1LL, std::min(v[4], 3LL)));
        e.finished = v[5] != 0;
        e.rounds[0] = static_cast<int>(std::max(0LL, std::min(v[6], 9LL)));
        e.rounds[1] = static_cast<int>(std::max(0LL, std::min(v[7], 9LL)));
        e.steps = static_cast<unsigned>(std::max(0LL, std::min(v[8], 1LL << 31)));
        out[e.name] = e;
    }
    fclose(f);
    return out;
}

// written beside and renamed over the old one, so a reader never sees half an index
static void writeIndex(const std::string& folder, const summaries& all)
{
    const std::string path = folder + "/" + INDEX_NAME;
    const std::string temp = path + ".new" + std::to_string(getpid());
    const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    FILE* f = fdopen(fd, "w");
    if (!f) {
        close(fd);
        unlink(temp.c_str());
        return;
    }
    fprintf(f, "%s\n", INDEX_FIRST_LINE);
    for (const auto& kv : all) {
        const replaysummary& e = kv.second;
        fprintf(f, "%s\t%lld\t%lld\t%d\t%d\t%d\t%d\t%d\t%d\t%u\n", e.name.c_str(), e.size, e.mtime,
                e.damaged ? 1 : 0, e.gameMode, e.timeOfDay, e.finished ? 1 : 0, e.rounds[0],
                e.rounds[1], e.steps);
    }
    const bool ok = fflush(f) == 0 && !ferror(f);
    fclose(f);
    if (!ok || rename(temp.c_str(), path.c_str()) != 0)
        unlink(temp.c_str());
}

static int settingNumber(const replayheader& h, const char* key, int count)
{
    const std::string v = replaySetting(h, key, "");
    char* end = nullptr;
    const long n = strtol(v.c_str(), &end, 10);
    return !v.empty() && *end == 0 && n >= 0 && n < count ? static_cast<int>(n) : -1;
}

// what the header says; with countSteps also the length of the file's intact part
static void summarise(const std::string& path, replaysummary& e, bool countSteps)
{
    replayheader h;
    std::string error;
    e.damaged = !readReplayHeader(path, h, error);
    if (e.damaged)
        return;
    e.gameMode = settingNumber(h, "game/gamemode", 3);
    e.timeOfDay = settingNumber(h, "game/timeofday", 4);
    if (!countSteps)
        return;
    replayplayer p;
    e.steps = p.load(path, error) ? p.stepsRecorded() : 0;
}

static bool statFile(const std::string& path, long long& size, long long& mtime)
{
    struct stat st;
    if (lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    size = st.st_size;
    mtime = static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
    return true;
}

static std::vector<std::string> replayNames(const std::string& folder)
{
    std::vector<std::string> names;
    DIR* d = opendir(folder.c_str());
    if (!d)
        return names;
    while (dirent* e = readdir(d))
        if (isReplayName(e->d_name))
            names.push_back(e->d_name);
    closedir(d);
    return names;
}

// ---- the list ----

replaylist::replaylist(const std::string& f) : folder(f)
{
    refresh();
}

std::string replaylist::pathOf(const replaysummary& e) const
{
    return (e.kept ? keptReplayFolder(folder) : folder) + "/" + e.name;
}

void replaylist::refresh()
{
    entries.clear();
    if (folder.empty())
        return;
    const summaries known = readIndex(folder);
    summaries now;
    bool changed = false;
    for (int kept = 0; kept < 2; kept++) {
        const std::string dir = kept ? keptReplayFolder(folder) : folder;
        for (const std::string& name : replayNames(dir)) {
            replaysummary e;
            e.name = name;
            if (!statFile(dir + "/" + name, e.size, e.mtime))
                continue;   // links, folders and pipes are not the game's replays
            const auto it = known.find(name);
            if (it != known.end() && it->second.size == e.size && it->second.mtime == e.mtime) {
                e = it->second;
            } else {
                summarise(dir + "/" + name, e, true);
                changed = true;
            }
            e.kept = kept != 0;
            const long long stamp = replayNameTime(name);
            e.when = stamp >= 0 ? stamp : e.mtime / 1000000000LL;
            now[name] = e;
            entries.push_back(e);
        }
    }
    if (changed || now.size() != known.size())
        writeIndex(folder, now);
    std::stable_sort(entries.begin(), entries.end(), [](const replaysummary& a, const replaysummary& b) {
        return a.when != b.when ? a.when > b.when : a.name > b.name;
    });
}

bool replaylist::setKept(size_t i, bool keep, std::string& error)
{
    if (i >= entries.size() || entries[i].kept == keep)
        return i < entries.size();
    const std::string keptDir = keptReplayFolder(folder);
    if (keep && mkdir(keptDir.c_str(), 0700) != 0 && errno != EEXIST) {
        error = "cannot make " + keptDir + ": " + strerror(errno);
        return false;
    }
    const std::string from = pathOf(entries[i]);
    const std::string to = (keep ? keptDir : folder) + "/" + entries[i].name;
    // link, then unlink: never replaces a file of the same name
    if (link(from.c_str(), to.c_str()) != 0) {
        error = "cannot move " + from + ": " + strerror(errno);
        return false;
    }
    unlink(from.c_str());
    entries[i].kept = keep;
    return true;
}

bool replaylist::remove(size_t i, std::string& error)
{
    if (i >= entries.size())
        return false;
    const std::string path = pathOf(entries[i]);
    if (unlink(path.c_str()) != 0) {
        error = "cannot delete " + path + ": " + strerror(errno);
        return false;
    }
    entries.erase(entries.begin() + static_cast<long>(i));
    return true;
}

void noteRecordedReplay(const std::string& path, unsigned steps, const game& g)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return;
    const std::string folder = path.substr(0, slash);
    replaysummary e;
    e.name = path.substr(slash + 1);
    if (!isReplayName(e.name) || !statFile(path, e.size, e.mtime))
        return;
    summarise(path, e, false);
    e.steps = steps;
    e.finished = g.state == game::STATE_MATCHOVER;
    e.rounds[0] = g.roundsWon[0];
    e.rounds[1] = g.roundsWon[1];
    summaries all = readIndex(folder);
    all[e.name] = e;
    writeIndex(folder, all);
}
