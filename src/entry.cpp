#include "main.h"

// SDL 1.2 does not wrap main on this platform, so the process entry hands over directly.
int main(int argc, char** argv)
{
    return SDL_main(argc, argv);
}
