#include "videoexport.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <climits>
#include <fcntl.h>
#include <ftw.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

videoexport::videoexport() : game(0), encoder(0), encoderStatus(0), frames(0)
{
}

videoexport::~videoexport()
{
    cleanUp();
}

std::string videoexport::findFfmpeg()
{
    const char* path = getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    size_t from = 0;
    while (from <= dirs.size()) {
        size_t to = dirs.find(':', from);
        if (to == std::string::npos)
            to = dirs.size();
        const std::string candidate = dirs.substr(from, to - from) + "/ffmpeg";
        if (to > from && access(candidate.c_str(), X_OK) == 0)
            return candidate;
        from = to + 1;
    }
    return std::string();
}

std::string videoexport::videoPathFor(const std::string& replay)
{
    std::string base = replay;
    const size_t dot = base.rfind('.');
    if (dot != std::string::npos && base.find('/', dot) == std::string::npos)
        base.erase(dot);
    std::string path = base + ".mp4";
    for (int n = 2; access(path.c_str(), F_OK) == 0 && n < 1000; n++)
        path = base + "_" + std::to_string(n) + ".mp4";
    return path;
}

// this process's environment with the "NAME=value" entries of set in place of their names
static std::vector<std::string> environmentWith(const std::vector<std::string>& set)
{
    std::vector<std::string> out;
    for (char** e = environ; *e; e++) {
        const std::string entry = *e;
        bool replaced = false;
        for (const std::string& s : set)
            replaced = replaced || entry.compare(0, s.find('=') + 1, s, 0, s.find('=') + 1) == 0;
        if (!replaced)
            out.push_back(entry);
    }
    out.insert(out.end(), set.begin(), set.end());
    return out;
}

static std::vector<char*> pointers(const std::vector<std::string>& words)
{
    std::vector<char*> out;
    for (const std::string& w : words)
        out.push_back(const_cast<char*>(w.c_str()));
    out.push_back(nullptr);
    return out;
}

static pid_t spawn(const std::vector<std::string>& args, const char* out,
                   const std::vector<std::string>& env = {})
{
    std::vector<char*> argv = pointers(args);
    const std::vector<std::string> envWords = environmentWith(env);
    std::vector<char*> envp = pointers(envWords);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // nothing of theirs on the game's terminal but what goes to the log
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out, O_WRONLY | O_CREAT | O_APPEND, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, out, O_WRONLY | O_CREAT | O_APPEND, 0600);
    pid_t pid = 0;
    const int err = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return err == 0 ? pid : 0;
}

bool videoexport::start(const std::string& replay, unsigned steps, std::string& error)
{
    if (running()) {
        error = "a video is being written already";
        return false;
    }
    const std::string ffmpeg = findFfmpeg();
    if (ffmpeg.empty()) {
        error = "Writing a video needs ffmpeg: install it (sudo apt install ffmpeg) and try again.";
        return false;
    }
    char exe[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    char temp[] = "/tmp/tibrel-export-XXXXXX";
    if (n <= 0 || !mkdtemp(temp)) {
        error = "cannot start the export: " + std::string(strerror(errno));
        return false;
    }
    exe[n] = 0;
    folder = temp;
    const std::string pipe = folder + "/frames";
    if (mkfifo(pipe.c_str(), 0600) != 0) {
        error = "cannot start the export: " + std::string(strerror(errno));
        cleanUp();
        return false;
    }
    output = videoPathFor(replay);
    frames = steps + 1;
    const std::string log = folder + "/log";
    encoder = spawn({ ffmpeg, "-nostdin", "-n", "-loglevel", "error", "-f", "rawvideo",
                      "-pixel_format", "rgb24", "-video_size", "800x600", "-framerate", "50",
                      "-i", pipe, "-progress", folder + "/progress", "-pix_fmt", "yuv420p",
                      output }, log.c_str());
    // the game that plays the replay is silent and has a settings file of its own: it never
    // writes over the player's, which the game on screen may change meanwhile
    game = spawn({ exe, "-w", "-size", "800x600", "-replay", replay, "-capture-to", pipe,
                   "-leave-after-replay" }, log.c_str(),
                 { "SDL_AUDIODRIVER=dummy", "XDG_CONFIG_HOME=" + folder });
    if (!game || !encoder) {
        error = "cannot start the export";
        if (game)
            kill(game, SIGTERM);
        if (encoder)
            kill(encoder, SIGTERM);
        return false;
    }
    return true;
}

// the last "frame=N" ffmpeg wrote into its progress file
static unsigned framesDone(const std::string& path)
{
    FILE* f = fopen(path.c_str(), "r");
    if (!f)
        return 0;
    unsigned done = 0;
    char line[256];
    while (fgets(line, sizeof line, f)) {
        unsigned v;
        if (sscanf(line, "frame=%u", &v) == 1)
            done = v;
    }
    fclose(f);
    return done;
}

std::string videoexport::poll()
{
    if (!running())
        return std::string();
    int status = 0;
    if (game > 0 && waitpid(game, &status, WNOHANG) == game) {
        game = -1;
        // a game that ended before it opened the pipe would leave ffmpeg waiting for it
        const int fd = open((folder + "/frames").c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0)
            close(fd);
    }
    if (encoder > 0 && waitpid(encoder, &status, WNOHANG) == encoder) {
        encoderStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128;
        encoder = -1;
    }
    if (game > 0 || encoder > 0) {
        const unsigned done = framesDone(folder + "/progress");
        const unsigned percent = frames ? std::min(99u, done * 100 / frames) : 0;
        return "Writing the video: " + std::to_string(percent) + "%";
    }
    game = encoder = 0;
    std::string line = encoderStatus == 0 ? "Video written: " + output
                                          : "ffmpeg could not write the video (status " +
                                                std::to_string(encoderStatus) + ")";
    cleanUp();
    return line;
}

static int removeEntry(const char* path, const struct stat*, int, struct FTW*)
{
    remove(path);
    return 0;
}

void videoexport::cleanUp()
{
    if (folder.empty())
        return;
    // the pipe, ffmpeg's progress, the log and the playing game's settings file; deepest
    // first, never following a link out of the folder
    nftw(folder.c_str(), removeEntry, 8, FTW_DEPTH | FTW_PHYS);
    folder.clear();
}
