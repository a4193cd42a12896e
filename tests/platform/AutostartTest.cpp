#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/Autostart.h"
#include "support/TestSupport.h"

namespace sondrel {
namespace {

std::string ReadAll(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(Autostart, ExecArgumentIsQuotedForTheDesktopEntryFormat) {
    struct Case {
        const char* in;
        const char* out;
    };
    const Case cases[] = {
        {"/usr/bin/sondrel", R"("/usr/bin/sondrel")"},
        {"/home/u/My Apps/sondrel", R"("/home/u/My Apps/sondrel")"},
        {"/opt/a\"b", R"("/opt/a\\"b")"},
        {"/opt/$HOME/`x`", R"("/opt/\\$HOME/\\`x\\`")"},
        {"/opt/back\\slash", R"("/opt/back\\\\slash")"},
        {"/opt/100%/sondrel", R"("/opt/100%%/sondrel")"},
        {"", R"("")"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.in);
        EXPECT_EQ(QuoteExecArgument(c.in), c.out);
    }
}

TEST(Autostart, ConfigHomeFollowsTheEnvironment) {
    const char* oldXdg = std::getenv("XDG_CONFIG_HOME");
    const char* oldHome = std::getenv("HOME");
    std::string savedXdg = oldXdg ? oldXdg : "";
    std::string savedHome = oldHome ? oldHome : "";
    struct Case {
        const char* xdg;  // nullptr: unset
        const char* home;
        std::filesystem::path expected;
    };
    const Case cases[] = {
        {"/cfg", "/home/u", "/cfg"},
        {nullptr, "/home/u", "/home/u/.config"},
        {"relative/cfg", "/home/u", "/home/u/.config"},  // a relative value is ignored
        {"", "/home/u", "/home/u/.config"},
        {nullptr, nullptr, ""},
    };
    for (const Case& c : cases) {
        c.xdg ? ::setenv("XDG_CONFIG_HOME", c.xdg, 1) : ::unsetenv("XDG_CONFIG_HOME");
        c.home ? ::setenv("HOME", c.home, 1) : ::unsetenv("HOME");
        EXPECT_EQ(XdgConfigHome(), c.expected) << (c.xdg ? c.xdg : "(unset)");
    }
    oldXdg ? ::setenv("XDG_CONFIG_HOME", savedXdg.c_str(), 1) : ::unsetenv("XDG_CONFIG_HOME");
    oldHome ? ::setenv("HOME", savedHome.c_str(), 1) : ::unsetenv("HOME");
}

TEST(Autostart, WriteCreatesTheFolderReplaceKeepsOneEntryRemoveIsIdempotent) {
    test::TempDir dir;
    auto entry = AutostartEntryPath(dir.path() / "config");
    EXPECT_FALSE(AutostartEntryExists(entry));
    ASSERT_EQ(WriteAutostartEntry(entry, "/first/sondrel"), 0);
    EXPECT_TRUE(AutostartEntryExists(entry));
    ASSERT_EQ(WriteAutostartEntry(entry, "/second/sondrel"), 0);
    EXPECT_EQ(ReadAll(entry), AutostartEntryText("/second/sondrel"));
    EXPECT_FALSE(std::filesystem::exists(entry.string() + ".new"));
    EXPECT_EQ(RemoveAutostartEntry(entry), 0);
    EXPECT_FALSE(AutostartEntryExists(entry));
    EXPECT_EQ(RemoveAutostartEntry(entry), 0);
}

}  // namespace
}  // namespace sondrel
