// tibrel_datagen: writes the game's data/ tree from source. Same source, same bytes.

#include "datagen.h"

#include <chrono>
#include <cstdio>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 2 || std::string(argv[1]).empty()) {
        std::fprintf(stderr, "usage: %s <data folder>\n", argc > 0 ? argv[0] : "tibrel_datagen");
        return 2;
    }
    std::string root = argv[1];
    auto start = std::chrono::steady_clock::now();
    auto seconds = [&]() {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    generateImages(root);
    std::printf("tibrel_datagen: images done at %.1f s\n", seconds());
    generateAudio(root);
    std::printf("tibrel_datagen: audio done at %.1f s\n", seconds());
    generateVenues(root);
    std::printf("tibrel_datagen: wrote %s in %.1f s\n", root.c_str(), seconds());
    return 0;
}
