#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <tuple>

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
    // Beside the executable, installed in share, the one found.
    const std::tuple<bool, bool, const char*> cases[] = {{true, true, "bin/address.dat"},
                                                         {false, true, "share/sondrel/address.dat"},
                                                         {true, false, "bin/address.dat"},
                                                         {false, false, "bin/address.dat"}};
    for (const auto& [beside, installed, found] : cases) {
        TempDir prefix;
        fs::create_directories(prefix / "bin");
        if (beside) Touch(prefix / "bin/address.dat");
        if (installed) Touch(prefix / "share/sondrel/address.dat");
        EXPECT_EQ(FindDataFileIn(prefix / "bin", "address.dat"), prefix.path() / found);
    }
}

TEST(PathsTest, ConfigAndHistoryFolderRules) {
    const std::pair<ConfigDirInputs, const char*> config[] = {
        {{"/portable/cfg", "/opt/s/bin", true, "/x", "/home/u"}, "/portable/cfg"},
        {{"", "/opt/s/bin", true, "/x", "/home/u"}, "/opt/s/bin"},
        {{"", "/usr/bin", false, "/x/cfg", "/home/u"}, "/x/cfg/sondrel"},
        {{"", "/usr/bin", false, "", "/home/u"}, "/home/u/.config/sondrel"},
        {{"", "/usr/bin", false, "rel", "/home/u"}, "/home/u/.config/sondrel"}};
    for (const auto& [in, dir] : config) EXPECT_EQ(ChooseConfigDir(in), fs::path(dir)) << dir;
    // XDG_RUNTIME_DIR, TMPDIR, the folder chosen.
    const std::tuple<const char*, const char*, const char*> history[] = {
        {"/run/user/1000", "/var/tmp", "/run/user/1000/sondrel"},
        {"", "/var/tmp", "/var/tmp/sondrel-1000"},
        {"", "", "/tmp/sondrel-1000"},
        {"run", "tmp", "/tmp/sondrel-1000"}};  // relative values are ignored
    for (const auto& [runtime, tmp, dir] : history)
        EXPECT_EQ(ChooseHistoryDir(runtime, tmp, 1000), fs::path(dir));

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
    // The folder, its owner to be, a part of the refusal's text.
    const std::tuple<fs::path, uid_t, std::string> cases[] = {
        {link, ::getuid(), link.string()},
        {real, ::getuid() + 1, "another user"},
        {t / "file", ::getuid(), ""},
        {t / "missing/parent", ::getuid(), ""}};
    for (const auto& [dir, owner, says] : cases) {
        const PrivateDir made = MakePrivateDir(dir, owner);
        EXPECT_FALSE(made.ok()) << dir;
        EXPECT_NE(made.error.find(says), std::string::npos) << made.error;
        EXPECT_EQ(ModeOf(real), 0755u) << "the real folder is never changed";
    }
}

}  // namespace
}  // namespace sondrel
