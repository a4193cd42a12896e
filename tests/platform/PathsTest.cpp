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

TEST(PathsTest, DataFilesBesideTheExecutableFirstThenInShare) {
    EXPECT_TRUE(fs::exists(ExecutableDir() / "test_platform")) << ExecutableDir();
    const struct {
        bool beside, installed;
        const char* found;
    } cases[] = {{true, true, "bin/address.dat"},
                 {false, true, "share/sondrel/address.dat"},
                 {true, false, "bin/address.dat"},
                 {false, false, "bin/address.dat"}};
    for (const auto& c : cases) {
        TempDir prefix;
        fs::create_directories(prefix / "bin");
        if (c.beside) Touch(prefix / "bin/address.dat");
        if (c.installed) Touch(prefix / "share/sondrel/address.dat");
        EXPECT_EQ(FindDataFileIn(prefix / "bin", "address.dat"), prefix.path() / c.found);
    }
}

TEST(PathsTest, ConfigAndHistoryFolderRules) {
    const struct {
        ConfigDirInputs in;
        const char* dir;
    } config[] = {{{"/portable/cfg", "/opt/s/bin", true, "/x", "/home/u"}, "/portable/cfg"},
                  {{"", "/opt/s/bin", true, "/x", "/home/u"}, "/opt/s/bin"},
                  {{"", "/usr/bin", false, "/x/cfg", "/home/u"}, "/x/cfg/sondrel"},
                  {{"", "/usr/bin", false, "", "/home/u"}, "/home/u/.config/sondrel"},
                  {{"", "/usr/bin", false, "rel", "/home/u"}, "/home/u/.config/sondrel"}};
    for (const auto& c : config) EXPECT_EQ(ChooseConfigDir(c.in), fs::path(c.dir)) << c.dir;
    const struct {
        const char *runtime, *tmp, *dir;
    } history[] = {{"/run/user/1000", "/var/tmp", "/run/user/1000/sondrel"},
                   {"", "/var/tmp", "/var/tmp/sondrel-1000"},
                   {"", "", "/tmp/sondrel-1000"},
                   {"run", "tmp", "/tmp/sondrel-1000"}};  // relative values are ignored
    for (const auto& c : history)
        EXPECT_EQ(ChooseHistoryDir(c.runtime, c.tmp, 1000), fs::path(c.dir));

    EXPECT_TRUE(fs::is_directory(ConfigDir()));
    ASSERT_TRUE(HistoryDir().ok()) << HistoryDir().error;
    EXPECT_EQ(ModeOf(HistoryDir().path), 0700u);
}

TEST(PathsTest, PrivateFolderIsMadeOrNarrowedToTheOwner) {
    for (mode_t before : {0000, 0700, 0755, 01777, 0710}) {  // 0: not there yet
        TempDir t;
        const fs::path dir = t / "hist";
        if (before) {
            ASSERT_EQ(::mkdir(dir.c_str(), 0700) | ::chmod(dir.c_str(), before), 0);
        }
        const PrivateDir made = MakePrivateDir(dir, ::getuid());
        EXPECT_TRUE(made.ok()) << made.error;
        EXPECT_EQ(made.path, dir);
        EXPECT_EQ(ModeOf(dir), 0700u) << std::oct << before;
    }
}

TEST(PathsTest, UnsafeFoldersAreRefusedAndLeftAlone) {
    TempDir t;
    const fs::path real = t / "real", link = t / "link";
    fs::create_directory(real);
    ::chmod(real.c_str(), 0755);
    fs::create_directory_symlink(real, link);
    Touch(t / "file");
    const struct {
        fs::path dir;
        uid_t owner;
        std::string says;
    } cases[] = {{link, ::getuid(), link.string()},
                 {real, ::getuid() + 1, "another user"},
                 {t / "file", ::getuid(), ""},
                 {t / "missing/parent", ::getuid(), ""}};
    for (const auto& c : cases) {
        const PrivateDir made = MakePrivateDir(c.dir, c.owner);
        EXPECT_FALSE(made.ok()) << c.dir;
        EXPECT_NE(made.error.find(c.says), std::string::npos) << made.error;
        EXPECT_EQ(ModeOf(real), 0755u) << "the real folder is never changed";
    }
}

}  // namespace
}  // namespace sondrel
