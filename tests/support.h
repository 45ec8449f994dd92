#ifndef TIBREL_TESTS_SUPPORT_H
#define TIBREL_TESTS_SUPPORT_H

#include <string>
#include <vector>
#include "netprotocol.h"

class controller;

// Test-wide set-up: the process main() points HOME and XDG_CONFIG_HOME at a fresh temporary
// folder, so no test touches a player's real settings.
namespace testsupport {

// the temporary home of this test process
const std::string& tempHome();

// a fresh empty temporary folder (removed at exit)
std::string makeTempDir();

// opens a small SDL window with an OpenGL context (needs a display, e.g. xvfb-run);
// returns false when none can be opened. Safe to call more than once.
bool openGLContext(int w = 64, int h = 64);

// points the two keyboards (g_keys) at devices[0..1] and the four pads (g_joys) at devices[2..5]
void plugDevices(controller* devices);
// points every keyboard and pad back at nothing
void unplugDevices();
// for a suite that needs a game: the GL window, the store, devices[0..5] plugged and g_thegame
// built; false (and nothing built) without a display
bool openGameSuite(controller* devices);
// deletes g_thegame and closes the store
void closeGameSuite();

// opens the configuration store "tibrel" under the temporary home into g_config
void openConfig();
// deletes g_config (flushing it) and sets it to null
void closeConfig();

// true when TIBREL_SHOT=1 asks the picture tests to write their pictures into docs/
bool shotWanted();
// the current frame buffer, w x h, RGB rows from the top
std::vector<unsigned char> readFrame(int w, int h);
// writes RGB rows from the top as a PNG (through ImageMagick's convert)
bool savePicture(const std::vector<unsigned char>& rgb, int w, int h, const std::string& png);

// writes bytes to a file, creating folders on the way
void writeFile(const std::string& path, const std::string& bytes);
// the whole file, or "" when it cannot be read
std::string readAll(const std::string& path);

// a lobby's seats as "machine.device" each, "C" for the computer: "0.1 1.1 C C "
std::string seatsText(const netlobbystate& l);

}

#endif
