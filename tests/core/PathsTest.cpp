#include "core/Paths.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace taktwerk::core {
namespace {

namespace fs = std::filesystem;

TEST(Commands, TakesPathsAndNamesApart)
{
    struct Case {
        const char* path;
        const char* stripPath;
        const char* stripExtension;
    };
    const Case cases[] = {
        {"C:\\Sound\\Default\\", "Default", "C:\\Sound\\Default\\"},
        {"/home/anna/Sound/Default/", "Default", "/home/anna/Sound/Default/"},
        {"C:\\Sound/Rock Kit\\Snare.wav", "Snare.wav", "C:\\Sound/Rock Kit\\Snare"},
        {"Snare.wav", "Snare.wav", "Snare"},
        {"a.b.wav", "a.b.wav", "a.b"},
        {"Snare", "Snare", "Snare"},
        {"Snare.", "Snare.", "Snare."},
        {".rtm", ".rtm", ""},
        {"\\", "", "\\"},
        {"", "", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(StripPath(c.path), c.stripPath) << c.path;
        EXPECT_EQ(StripExtension(c.path), c.stripExtension) << c.path;
    }

    std::string withSeparator = "C:\\Sound\\";
    EXPECT_EQ(AddBackslash(withSeparator), "C:\\Sound\\");
    std::string slash = "/srv/taktwerk/";
    EXPECT_EQ(AddBackslash(slash), "/srv/taktwerk/");
    std::string plain = "/srv/taktwerk";
    AddBackslash(plain);  // changes the caller's text
    EXPECT_EQ(plain, "/srv/taktwerk/");
}

TEST(Commands, FiltersTypedNameCharacters)
{
    for (int code : {58, 60, 62, 91, 93, 92, 94, 47, 34, 42, 0, 31, 59, 61, 46, 44, -5}) {
        int typed = code;
        FilterKey(typed, 1);
        EXPECT_EQ(typed, 0) << code << " should be swallowed";
    }
    for (int code : {45, 43, 38, 39,  33,  32,   48,     57, 63, 64, 65,
                     90, 95, 97, 124, 127, 0xE4, 0x20AC, 8,  22, 3,  13}) {
        int typed = code;
        FilterKey(typed, 1);
        EXPECT_EQ(typed, code) << code << " should pass";
    }
    for (int code : {58, 47, 92}) {
        int typed = code;
        FilterKey(typed, 0);
        EXPECT_EQ(typed, code) << "mode 0 passes " << code;
    }
}

TEST(Commands, PlacesWindowsCentredAndAboveTheMiddle)
{
    struct Case {
        double screenW, screenH, formW, formH;
        long long left, top;
    };
    const Case cases[] = {
        {15360, 11520, 9000, 6000, 3180, 1896},      // 1024 x 768 pixels at 15 twips
        {15360, 1290, 9000, 100, 3180, 498},         // 0.85 x 1290 = 1096.5 -> 1096 (even)
        {15360, 1310, 9000, 100, 3180, 507},         // 0.85 x 1310 = 1113.5 -> 1114 (even)
        {15360, 11520, 9001, 6001, 3180, 1896},      // odd sizes: integer division
        {15360, 11520, 9000.5, 6001.5, 3180, 1895},  // halves to even: 9000 and 6002
        {15360, 11520, 20000, 12000, 0, 0},          // bigger than the screen: kept on it
        {15360.5, 11520.5, 9000, 6000, 3180, 1896},
    };
    for (const auto& c : cases) {
        const FormPosition at = PlaceForm(c.screenW, c.screenH, c.formW, c.formH);
        EXPECT_EQ(at.left, c.left) << c.screenW << ' ' << c.formW;
        EXPECT_EQ(at.top, c.top) << c.screenH << ' ' << c.formH;
    }
}

class CommandsFiles : public testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::path(testing::TempDir()) / "commandsXXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        folder_ = fs::canonical(pattern);
    }
    void TearDown() override
    {
        fs::permissions(folder_, fs::perms::owner_all, fs::perm_options::add);
        fs::remove_all(folder_);
    }
    fs::path folder_;
};

TEST_F(CommandsFiles, TestsAndMakesFilesAndFolders)
{
    const fs::path file = folder_ / "Beat 1.rtm";
    std::ofstream(file) << "[Settings]\r\n";
    EXPECT_TRUE(FileExists(file));
    EXPECT_FALSE(FileExists(folder_));
    EXPECT_FALSE(FileExists(folder_ / "missing.rtm"));
    EXPECT_TRUE(DirExists(folder_));
    EXPECT_TRUE(DirExists(folder_ / ""));
    EXPECT_FALSE(DirExists(file));
    EXPECT_FALSE(DirExists(folder_ / "missing"));
    if (::geteuid() != 0) {  // root reads anything
        fs::permissions(file, fs::perms::none);
        EXPECT_FALSE(FileExists(file));
    }

    const fs::path cwd = fs::current_path();
    fs::create_directories(folder_ / "a" / "b");
    EXPECT_TRUE(MakeDirs(folder_ / "a" / "b" / "c" / "d" / ""));
    EXPECT_TRUE(DirExists(folder_ / "a" / "b" / "c" / "d"));
    EXPECT_TRUE(MakeDirs(folder_ / "a"));
    EXPECT_FALSE(MakeDirs(file / "below a file"));
    EXPECT_EQ(fs::current_path(), cwd);
}

TEST_F(CommandsFiles, LongPathGivesTheRealPathOrTitleCase)
{
    EXPECT_EQ(LongPath("c:\\my DRUMS\\x-ray(b)_z"), "C:\\My Drums\\X-Ray(B)_Z");
    EXPECT_EQ(LongPath("/nowhere/ÄRGER über_alles"), "/Nowhere/Ärger Über_Alles");
    fs::create_directories(folder_ / "Sound");
    fs::create_directory_symlink(folder_ / "Sound", folder_ / "link");
    EXPECT_EQ(LongPath(utf8FromPath(folder_ / "link" / ".." / "Sound")),
              utf8FromPath(folder_ / "Sound"));
}

}  // namespace
}  // namespace taktwerk::core
