#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "platform/Paths.h"
#include "support/TestSupport.h"

namespace sondrel {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

void Touch(const fs::path& p) {
    fs::create_directories(p.parent_path());
    std::ofstream(p) << "x";
}

mode_t ModeOf(const fs::path& p) {
    struct stat st {};
    EXPECT_EQ(::lstat(p.c_str(), &st), 0);
    return st.st_mode & 07777;
}

TEST(PathsTest, ExecutableDirHoldsTheRunningTestBinary) {
    fs::path dir = ExecutableDir();
    EXPECT_TRUE(dir.is_absolute());
    EXPECT_TRUE(fs::exists(dir / "test_platform")) << dir;
}

TEST(PathsTest, InstalledDataDirIsShareBesideBin) {
    EXPECT_EQ(InstalledDataDir("/usr/bin"), fs::path("/usr/share/sondrel"));
    EXPECT_EQ(InstalledDataDir("/opt/x/bin/"), fs::path("/opt/x/share/sondrel"));
}

TEST(PathsTest, DataFilePrefersTheExecutablesFolderThenTheInstalledOne) {
    struct Case {
        const char* what;
        bool beside;
        bool installed;
        const char* expected;  // relative to the prefix
    };
    const Case cases[] = {
        {"both present", true, true, "bin/address.dat"},
        {"only installed", false, true, "share/sondrel/address.dat"},
        {"only beside", true, false, "bin/address.dat"},
        {"neither: the expected place", false, false, "bin/address.dat"},
    };
    for (const Case& c : cases) {
        TempDir prefix;
        fs::create_directories(prefix / "bin");
        if (c.beside) Touch(prefix / "bin/address.dat");
        if (c.installed) Touch(prefix / "share/sondrel/address.dat");
        EXPECT_EQ(FindDataFileIn(prefix / "bin", "address.dat"), prefix.path() / c.expected)
            << c.what;
    }
}

TEST(PathsTest, ConfigDirRules) {
    struct Case {
        const char* what;
        ConfigDirInputs in;
        const char* expected;
    };
    const Case cases[] = {
        {"variable wins over a writable folder",
         {"/portable/cfg", "/opt/s/bin", true, "/x", "/home/u"}, "/portable/cfg"},
        {"writable executable folder", {"", "/opt/s/bin", true, "/x", "/home/u"}, "/opt/s/bin"},
        {"XDG_CONFIG_HOME", {"", "/usr/bin", false, "/x/cfg", "/home/u"}, "/x/cfg/sondrel"},
        {"XDG_CONFIG_HOME unset", {"", "/usr/bin", false, "", "/home/u"},
         "/home/u/.config/sondrel"},
        {"relative XDG_CONFIG_HOME is ignored", {"", "/usr/bin", false, "rel", "/home/u"},
         "/home/u/.config/sondrel"},
    };
    for (const Case& c : cases) EXPECT_EQ(ChooseConfigDir(c.in), fs::path(c.expected)) << c.what;
}

TEST(PathsTest, ConfigDirIsChosenOnceAndExists) {
    const fs::path& first = ConfigDir();
    EXPECT_TRUE(fs::is_directory(first)) << first;
    EXPECT_EQ(&first, &ConfigDir());
    EXPECT_EQ(DefaultListPath(), first / "default.ipl");
}

TEST(PathsTest, HistoryDirRules) {
    struct Case {
        const char* what;
        const char* runtime;
        const char* tmp;
        const char* expected;
    };
    const Case cases[] = {
        {"runtime folder", "/run/user/1000", "/var/tmp", "/run/user/1000/sondrel"},
        {"TMPDIR", "", "/var/tmp", "/var/tmp/sondrel-1000"},
        {"nothing set", "", "", "/tmp/sondrel-1000"},
        {"relative values ignored", "run", "tmp", "/tmp/sondrel-1000"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ChooseHistoryDir(c.runtime, c.tmp, 1000), fs::path(c.expected)) << c.what;
}

TEST(PathsTest, PrivateDirIsCreatedWithOwnerOnlyMode) {
    TempDir t;
    fs::path dir = t / "hist";
    PrivateDir made = MakePrivateDir(dir, ::getuid());
    ASSERT_TRUE(made.ok()) << made.error;
    EXPECT_EQ(made.path, dir);
    EXPECT_TRUE(fs::is_directory(dir));
    EXPECT_EQ(ModeOf(dir), 0700u);
    // A second start finds it and accepts it.
    EXPECT_TRUE(MakePrivateDir(dir, ::getuid()).ok());
}

TEST(PathsTest, PrivateDirWithAWiderModeIsNarrowed) {
    for (mode_t wide : {0755, 0777, 01777, 0710}) {
        TempDir t;
        fs::path dir = t / "hist";
        ASSERT_EQ(::mkdir(dir.c_str(), 0700), 0);
        ASSERT_EQ(::chmod(dir.c_str(), wide), 0);
        PrivateDir made = MakePrivateDir(dir, ::getuid());
        EXPECT_TRUE(made.ok()) << made.error;
        EXPECT_EQ(ModeOf(dir), 0700u) << std::oct << wide;
    }
}

TEST(PathsTest, UnsafeFoldersAreRefused) {
    TempDir t;
    fs::path real = t / "real";
    fs::create_directory(real);
    ::chmod(real.c_str(), 0755);

    fs::path link = t / "link";
    fs::create_directory_symlink(real, link);
    PrivateDir viaLink = MakePrivateDir(link, ::getuid());
    EXPECT_FALSE(viaLink.ok());
    EXPECT_NE(viaLink.error.find(link.string()), std::string::npos) << viaLink.error;
    EXPECT_EQ(ModeOf(real), 0755u) << "the link's target must be left alone";

    fs::path file = t / "file";
    Touch(file);
    EXPECT_FALSE(MakePrivateDir(file, ::getuid()).ok());

    // Owned by someone else: the expected owner differs from the folder's.
    PrivateDir foreign = MakePrivateDir(real, ::getuid() + 1);
    EXPECT_FALSE(foreign.ok());
    EXPECT_NE(foreign.error.find("another user"), std::string::npos) << foreign.error;
    EXPECT_EQ(ModeOf(real), 0755u) << "a foreign folder's mode must not be changed";

    EXPECT_FALSE(MakePrivateDir(t / "missing/parent", ::getuid()).ok());
}

TEST(PathsTest, HistoryDirOfThisProcessIsPrivate) {
    const PrivateDir& dir = HistoryDir();
    ASSERT_TRUE(dir.ok()) << dir.error;
    EXPECT_EQ(ModeOf(dir.path), 0700u);
    EXPECT_EQ(&dir, &HistoryDir());
}

}  // namespace
}  // namespace sondrel
