#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>
#include <sys/stat.h>
#include <unistd.h>
#include <GL/gl.h>
#include <SDL/SDL.h>
#include <wx/config.h>
#include <wx/dir.h>
#include <gtest/gtest.h>
#include "daytime.h"
#include "layeredplayertexture.h"
#include "main.h"
#include "support.h"

namespace {

const char* const folders[13] = {
    "FootL", "LegL", "HandL", "ArmL", "Pelvis", "Torso", "Head",
    "Eyes_and_glasses", "Hats_and_hair", "ArmR", "LegR", "FootR", "HandR",
};
const char* const names[13] = {
    "Left Foot", "Left Leg", "Left Hand", "Left Arm", "Lower Body", "Upper Body", "Head",
    "Eyes and Glasses", "Hair and Hats", "Right Arm", "Right Leg", "Right Foot", "Right Hand",
};

std::string str(const wxString& s)
{
    return std::string(s.utf8_str());
}

// creates the folders leading to a file
void makeFolders(const std::string& path)
{
    for (size_t at = path.find('/'); at != std::string::npos; at = path.find('/', at + 1))
        mkdir(path.substr(0, at).c_str(), 0755);
}

// an opaque little picture; the image loader tells the format from the content, not the name
void writeImage(const std::string& path, Uint8 r, Uint8 g, Uint8 b)
{
    makeFolders(path);
    SDL_Surface* s = SDL_CreateRGBSurface(SDL_SWSURFACE, 4, 4, 32, 0xFF, 0xFF00, 0xFF0000, 0);
    ASSERT_NE(s, nullptr);
    SDL_FillRect(s, nullptr, SDL_MapRGB(s->format, r, g, b));
    SDL_SaveBMP(s, path.c_str());
    SDL_FreeSurface(s);
}

// A data tree of outfit images in a temporary folder, made the working directory, and an
// empty configuration store.
class OutfitTest : public ::testing::Test {
protected:
    std::string dir;
    std::string oldDir;

    void SetUp() override
    {
        ASSERT_TRUE(testsupport::openGLContext());
        char buf[4096];
        ASSERT_NE(getcwd(buf, sizeof buf), nullptr);
        oldDir = buf;
        dir = testsupport::makeTempDir();
        ASSERT_EQ(chdir(dir.c_str()), 0);
        freshStore();
        setDaytime(DT_DAY);
    }

    void TearDown() override
    {
        setDaytime(DT_DAY);
        testsupport::closeConfig();
        ASSERT_EQ(chdir(oldDir.c_str()), 0);
    }

    void freshStore()
    {
        testsupport::closeConfig();
        std::remove((testsupport::tempHome() + "/.config/tibrel/tibrel.conf").c_str());
        testsupport::openConfig();
        ASSERT_NE(g_config, nullptr);
    }

    // one name in every folder of one side, in all four times of day
    void addName(const std::string& side, const std::string& folder, const std::string& name)
    {
        for (const char* prefix : { "Morning", "Daytime", "Evening", "Night" })
            writeImage("data/" + side + "/" + folder + "/" + prefix + "_" + name + ".png", 200, 40, 40);
    }

    void addEverywhere(const std::string& side, const std::string& name)
    {
        for (const char* f : folders)
            addName(side, f, name);
    }

    std::string stored(const std::string& key)
    {
        return str(g_config->Read(wxString::FromUTF8(key.c_str()), "<missing>"));
    }

    static std::vector<std::string> sorted(const std::vector<wxString>& v)
    {
        std::vector<std::string> out;
        for (const wxString& s : v)
            out.push_back(str(s));
        std::sort(out.begin(), out.end());
        return out;
    }
};

TEST_F(OutfitTest, FirstRunPicksTheFirstListedNameForEveryLayerAndStoresIt)
{
    addEverywhere("left", "plain");
    addName("left", "Torso", "blue");
    addName("left", "Torso", "red");
    addEverywhere("right", "dark");

    for (int i = 0; i < 4; i++) {
        layeredplayertexture outfit(i / 2, i);
        SCOPED_TRACE(testing::Message() << "player " << i);
        std::string side = i < 2 ? "left" : "right";
        ASSERT_EQ(outfit.layers.size(), 13u);
        EXPECT_EQ(outfit.builds, 1);
        EXPECT_FALSE(outfit.autoRebuild);
        EXPECT_NE(outfit.texture, 0u);
        for (int k = 0; k < 13; k++) {
            const texlayer& l = outfit.layers[k];
            EXPECT_EQ(str(l.name), names[k]);
            EXPECT_EQ(str(l.folder), folders[k]);
            std::vector<wxString> offered = outfit.findTextureNames(l.name);
            ASSERT_FALSE(offered.empty());
            EXPECT_EQ(l.value, offered[0]);
            EXPECT_EQ(str(l.file), "data/" + side + "/" + folders[k] + "/Daytime_" + str(l.value) + ".png");
            EXPECT_EQ(stored("pl" + std::to_string(i) + "/" + folders[k]), str(l.value));
        }
    }
    // the torso of the left players is one of its two names
    layeredplayertexture again(0, 0);
    std::string torso = str(again.getLayer("Upper Body")->value);
    EXPECT_TRUE(torso == "blue" || torso == "red") << torso;
    EXPECT_EQ(torso, stored("pl0/Torso"));
}

TEST_F(OutfitTest, RightSidePlayersUseTheRightFoldersAndTheirOwnKeys)
{
    addEverywhere("left", "plain");
    addEverywhere("right", "dark");
    addName("right", "Torso", "green");
    g_config->Write("pl3/Torso", "green");
    g_config->Write("pl0/Torso", "plain");

    layeredplayertexture outfit(1, 3);
    EXPECT_EQ(outfit.getLayer("Upper Body")->value, "green");
    EXPECT_EQ(outfit.getLayer("Upper Body")->file, "data/right/Torso/Daytime_green.png");
    EXPECT_EQ(outfit.getLayer("Head")->file, "data/right/Head/Daytime_dark.png");
    std::vector<wxString> offered = outfit.findTextureNames("Upper Body");
    int at = outfit.findCurrentTextureIndex("Upper Body");
    ASSERT_LT(size_t(at), offered.size());
    EXPECT_EQ(offered[at], "green");
    EXPECT_EQ(stored("pl3/Torso"), "green");
    EXPECT_EQ(stored("pl3/Head"), "dark");
    EXPECT_EQ(stored("pl0/Torso"), "plain");
    EXPECT_EQ(stored("pl0/Head"), "<missing>");
}

TEST_F(OutfitTest, TimeOfDayPicksTheFileWhileDaytimeImagesDecideTheNames)
{
    addEverywhere("left", "plain");
    addName("left", "Torso", "blue");
    writeImage("data/left/Torso/Night_moon.png", 1, 2, 3);
    g_config->Write("pl0/Torso", "blue");

    setDaytime(DT_NIGHT);
    layeredplayertexture outfit(0, 0);
    EXPECT_EQ(outfit.getLayer("Upper Body")->file, "data/left/Torso/Night_blue.png");
    EXPECT_EQ(sorted(outfit.findTextureNames("Upper Body")), (std::vector<std::string>{ "blue", "plain" }));

    setDaytime(DT_MORNING);
    int before = outfit.builds;
    outfit.reLayer();
    EXPECT_EQ(outfit.builds, before + 1);
    EXPECT_EQ(outfit.getLayer("Upper Body")->file, "data/left/Torso/Morning_blue.png");
    EXPECT_EQ(outfit.getLayer("Left Foot")->file, "data/left/FootL/Morning_plain.png");
}

TEST_F(OutfitTest, NamesAreTheTextBetweenTheFirstUnderscoreAndTheNextDot)
{
    addEverywhere("left", "plain");
    for (const char* f : { "Daytime_red.tight.png", "Daytime_red.png", "Daytime_red.jpg",
                           "Daytime_my_stripes.png", "Night_moon.png", "daytime_lower.png",
                           "Daytime_sub/keep.txt" })
        testsupport::writeFile(std::string("data/left/Torso/") + f, "x");

    layeredplayertexture outfit(0, 0);
    EXPECT_EQ(sorted(outfit.findTextureNames("Upper Body")),
              (std::vector<std::string>{ "my_stripes", "plain", "red", "red", "red", "sub" }));
    EXPECT_TRUE(outfit.findTextureNames("No Such Layer").empty());
}

TEST_F(OutfitTest, AFolderWithoutNamesLeavesItsLayerWithoutAnImage)
{
    addEverywhere("left", "plain");
    std::remove("data/left/Torso/Morning_plain.png");
    std::remove("data/left/Torso/Daytime_plain.png");
    std::remove("data/left/Torso/Evening_plain.png");
    std::remove("data/left/Torso/Night_plain.png");
    ASSERT_EQ(system("rm -rf data/left/Head"), 0);

    layeredplayertexture outfit(0, 0);
    for (const char* name : { "Upper Body", "Head" }) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(outfit.findTextureNames(name).empty());
        EXPECT_EQ(outfit.findCurrentTextureIndex(name), 0);
        EXPECT_EQ(outfit.getLayer(name)->value, "");
        EXPECT_EQ(outfit.getLayer(name)->file, "");
    }
    EXPECT_EQ(stored("pl0/Torso"), "");
    EXPECT_EQ(outfit.getLayer("Left Foot")->file, "data/left/FootL/Daytime_plain.png");
    EXPECT_NE(outfit.texture, 0u);

    // reLayer keeps the empty layer empty rather than inventing a file name
    outfit.reLayer();
    EXPECT_EQ(outfit.getLayer("Head")->file, "");
}

TEST_F(OutfitTest, AStoredNameThatIsNoLongerOfferedIsKept)
{
    addEverywhere("left", "plain");
    addName("left", "Torso", "blue");
    g_config->Write("pl1/Torso", "gone");

    layeredplayertexture outfit(0, 1);
    EXPECT_EQ(outfit.getLayer("Upper Body")->value, "gone");
    EXPECT_EQ(outfit.getLayer("Upper Body")->file, "data/left/Torso/Daytime_gone.png");
    EXPECT_EQ(outfit.findCurrentTextureIndex("Upper Body"), 0);
    EXPECT_EQ(stored("pl1/Torso"), "gone");
}

// A stored name only ever names a file inside its own folder: one with a path separator is
// dropped for the default, anything else is looked up (and simply not found).
TEST_F(OutfitTest, DamagedStoredNamesNeverLeaveTheFolder)
{
    addEverywhere("left", "plain");
    struct row {
        wxString value;
        bool replaced;
    } rows[] = {
        { "../../../../etc/passwd", true },
        { "a/b", true },
        { "..\\..\\secret", true },
        { "/abs", true },
        { "..", false },
        { wxString('x', 5000), false },
        { wxString::FromUTF8("\xc3\xa4\xe2\x98\x83 *?%s%n\t\"[]"), false },
    };
    for (const row& r : rows) {
        SCOPED_TRACE(str(r.value).substr(0, 40));
        freshStore();
        g_config->Write("pl0/Torso", r.value);
        layeredplayertexture outfit(0, 0);
        const texlayer* torso = outfit.getLayer("Upper Body");
        std::string file = str(torso->file);
        const std::string folder = "data/left/Torso/Daytime_";
        ASSERT_EQ(file.compare(0, folder.size(), folder), 0) << file;
        EXPECT_EQ(file.find_first_of("/\\", folder.size()), std::string::npos);
        if (r.replaced) {
            EXPECT_EQ(torso->value, "plain");
            EXPECT_EQ(stored("pl0/Torso"), "plain");
        } else {
            EXPECT_EQ(torso->value, r.value);
        }
        EXPECT_NE(outfit.texture, 0u);
    }

    // the same holds for a name handed in directly
    layeredplayertexture outfit(0, 0);
    outfit.setLayer("Upper Body", "../../x");
    EXPECT_EQ(outfit.getLayer("Upper Body")->file, "");
    EXPECT_EQ(outfit.getLayer("Upper Body")->value, "");
}

TEST_F(OutfitTest, ReLayerRebuildsOnceOrAfterEveryLayer)
{
    addEverywhere("left", "plain");
    layeredplayertexture outfit(0, 0);
    int before = outfit.builds;
    outfit.reLayer();
    EXPECT_EQ(outfit.builds, before + 1);

    outfit.autoRebuild = true;
    outfit.reLayer();
    EXPECT_EQ(outfit.builds, before + 1 + 13 + 1);
}

TEST_F(OutfitTest, WorksWithoutAnOpenStore)
{
    addEverywhere("left", "plain");
    testsupport::closeConfig();
    ASSERT_EQ(g_config, nullptr);
    layeredplayertexture outfit(0, 2);
    EXPECT_EQ(outfit.getLayer("Head")->value, "plain");
    outfit.saveconfig();
    EXPECT_NE(outfit.texture, 0u);
}

TEST_F(OutfitTest, ComposesTheChosenImages)
{
    addEverywhere("left", "plain");
    layeredplayertexture outfit(0, 0);
    std::vector<unsigned char> px(512 * 512 * 4, 0);
    glBindTexture(GL_TEXTURE_2D, outfit.texture);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
    // the 4 x 4 images land in the top-left corner, outlined beside and below
    EXPECT_EQ(px[0], 199);
    EXPECT_EQ(px[3], 255);
    size_t outline = (size_t(1) * 512 + 4) * 4;
    EXPECT_EQ(px[outline], 0);
    EXPECT_EQ(px[outline + 3], 255);
    EXPECT_EQ(px[(size_t(100) * 512 + 100) * 4 + 3], 0);
}

// The generated outfits of the game's own data tree
TEST(GameOutfits, DefaultOutfitComposesIntoAVisibleSheet)
{
    if (!wxDir::Exists("data/left") || !wxDir::Exists("data/right"))
        GTEST_SKIP() << "no data tree generated in " << get_current_dir_name();
    ASSERT_TRUE(testsupport::openGLContext());
    testsupport::closeConfig();
    setDaytime(DT_DAY);
    for (int i : { 0, 3 }) {
        layeredplayertexture outfit(i / 2, i);
        std::vector<unsigned char> px(512 * 512 * 4, 0);
        glBindTexture(GL_TEXTURE_2D, outfit.texture);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, px.data());
        size_t opaque = 0;
        for (size_t p = 0; p < px.size(); p += 4)
            opaque += px[p + 3] != 0;
        SCOPED_TRACE(testing::Message() << "player " << i);
        for (const texlayer& l : outfit.layers)
            EXPECT_FALSE(l.value.empty()) << str(l.name);
        EXPECT_GT(opaque, 512u * 512u / 100) << "less than 1% of the sheet is drawn";
        EXPECT_LT(opaque, 512u * 512u);
    }
}

}
