// The picture half of the data: the font copy, the titles, the ball, the power-up icons, the
// player outfits and the desktop icon.

#include "datagen.h"
#include "image.h"

#include <filesystem>

void generateImages(const std::string& root)
{
    makeFolder(root);
    std::error_code err;
    std::filesystem::copy_file(fontSource(), root + "/Tuffy_Bold.ttf",
                               std::filesystem::copy_options::overwrite_existing, err);
    if (err)
        fail(std::string("cannot copy the font ") + fontSource() + ": " + err.message());
    generateTitles(root);
    generateBall(root);
    generateIcons(root);
    generateOutfits(root);
    generateAppIcons(root);
}
