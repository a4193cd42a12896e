#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <tuple>

#include "platform/Autostart.h"
#include "support/TestSupport.h"

namespace sondrel {
namespace {

TEST(Autostart, ExecArgumentIsQuotedForTheDesktopEntryFormat) {
    const std::pair<const char*, const char*> cases[] = {
        {"/usr/bin/sondrel", R"("/usr/bin/sondrel")"},
        {"/home/u/My Apps/sondrel", R"("/home/u/My Apps/sondrel")"},
        {"/opt/a\"b", R"("/opt/a\\"b")"},
        {"/opt/$HOME/`x`", R"("/opt/\\$HOME/\\`x\\`")"},
        {"/opt/back\\slash", R"("/opt/back\\\\slash")"},
        {"/opt/100%/sondrel", R"("/opt/100%%/sondrel")"},
        {"", R"("")"},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(QuoteExecArgument(in), out) << in;
}

TEST(Autostart, ConfigHomeFollowsTheEnvironment) {
    const char* oldXdg = std::getenv("XDG_CONFIG_HOME");
    const char* oldHome = std::getenv("HOME");
    std::string savedXdg = oldXdg ? oldXdg : "";
    std::string savedHome = oldHome ? oldHome : "";
    // nullptr: unset
    const std::tuple<const char*, const char*, std::filesystem::path> cases[] = {
        {"/cfg", "/home/u", "/cfg"},
        {nullptr, "/home/u", "/home/u/.config"},
        {"relative/cfg", "/home/u", "/home/u/.config"},  // a relative value is ignored
        {"", "/home/u", "/home/u/.config"},
        {nullptr, nullptr, ""},
    };
    for (const auto& [xdg, home, expected] : cases) {
        xdg ? ::setenv("XDG_CONFIG_HOME", xdg, 1) : ::unsetenv("XDG_CONFIG_HOME");
        home ? ::setenv("HOME", home, 1) : ::unsetenv("HOME");
        EXPECT_EQ(XdgConfigHome(), expected) << (xdg ? xdg : "(unset)");
    }
    oldXdg ? ::setenv("XDG_CONFIG_HOME", savedXdg.c_str(), 1) : ::unsetenv("XDG_CONFIG_HOME");
    oldHome ? ::setenv("HOME", savedHome.c_str(), 1) : ::unsetenv("HOME");
}

TEST(Autostart, WriteCreatesTheFolderReplaceKeepsOneEntryRemoveIsIdempotent) {
    test::TempDir dir;
    auto entry = AutostartEntryPath(dir.path() / "config");
    ASSERT_EQ(WriteAutostartEntry(entry, "/first/sondrel"), 0);
    ASSERT_EQ(WriteAutostartEntry(entry, "/second/sondrel"), 0);
    std::ifstream in(entry, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}),
              AutostartEntryText("/second/sondrel"));
    EXPECT_FALSE(std::filesystem::exists(entry.string() + ".new"));
    EXPECT_EQ(RemoveAutostartEntry(entry), 0);
    EXPECT_EQ(RemoveAutostartEntry(entry), 0);
    EXPECT_FALSE(AutostartEntryExists(entry));
}

}  // namespace
}  // namespace sondrel
