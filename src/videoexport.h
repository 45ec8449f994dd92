#ifndef TIBREL_VIDEOEXPORT_H
#define TIBREL_VIDEOEXPORT_H

#include <string>
#include <sys/types.h>

// Writes a replay as an .mp4 next to it: the game itself plays the replay in a window of its
// own and captures its frames into a pipe ("-capture-to"), which ffmpeg encodes. Both run as
// child processes; the game polls them once a frame.
class videoexport {
public:
    videoexport();
    ~videoexport();   // the children run on and finish by themselves
    // where ffmpeg is, or empty when it is not installed
    static std::string findFfmpeg();
    // the .mp4 for a replay: its name with the suffix changed, never an existing file
    static std::string videoPathFor(const std::string& replay);
    // starts writing; false with a one-line reason
    bool start(const std::string& replay, unsigned steps, std::string& error);
    bool running() const { return game > 0 || encoder > 0; }
    // checks on the children; a line for the screen: progress, the result, or a reason
    std::string poll();

private:
    pid_t game;
    pid_t encoder;
    int encoderStatus;
    unsigned frames;          // frames the replay will give
    std::string folder;       // the pipe and ffmpeg's progress, removed when done
    std::string output;
    void cleanUp();
};

#endif
