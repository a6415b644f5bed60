#include "core/Paths.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace taktwerk::core {
namespace {

namespace fs = std::filesystem;

TEST(Paths, TakesPathsAndNamesApart)
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

class PathsFiles : public testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::path(testing::TempDir()) / "pathsXXXXXX").string();
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

TEST_F(PathsFiles, TestsAndMakesFilesAndFolders)
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

TEST_F(PathsFiles, LongPathGivesTheRealPathOrTitleCase)
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
