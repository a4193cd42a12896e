#include <gtest/gtest.h>

#include <variant>

#include "store/Export.h"
#include "store/SampleStore.h"

namespace sondrel {
namespace {

constexpr int64_t kAt = 1'796'655'845'000;             // 2026-12-07T15:04:05Z
constexpr int64_t kNow = kAt + (53 * 60 + 20) * 1000;  // 2026-12-07T15:57:25Z

TEST(ExportTest, Times) {
    const struct {
        const char* text;
        std::optional<int64_t> ms;
    } cases[] = {
        {"2026-12-07T15:04:05Z", kAt},
        {"2026-12-07T15:04:05.123Z", kAt + 123},
        {"2026-12-07t15:04:05.1z", kAt + 100},
        {"2026-12-07T15:04:05.1239", kAt + 123},
        {"2026-12-07T15:04", kAt - 5000},
        {"2026-12-07", kAt - (15 * 3600 + 4 * 60 + 5) * 1000},
        {"2026-12-07T17:04:05+02:00", kAt},
        {"2026-12-07T10:04:05-0500", kAt},
        {"2026-12-07T16:04:05+01", kAt},
        {"2024-02-29T00:00Z", 1'709'164'800'000},
        {"1969-12-31T23:59:59.999Z", -1},
        {"-24h", kNow - 86'400'000},
        {"-7d", kNow - 7 * 86'400'000LL},
        {"-30m", kNow - 30 * 60'000},
        {"-90s", kNow - 90'000},
        {"", std::nullopt},
        {"2026-13-01", std::nullopt},
        {"2026-02-29", std::nullopt},
        {"2026-12-7", std::nullopt},
        {"2026-12-07T24:00", std::nullopt},
        {"2026-12-07T15:60", std::nullopt},
        {"2026-12-07T15:04:05.Z", std::nullopt},
        {"2026-12-07T15:04:05+2", std::nullopt},
        {"2026-12-07T15:04:05Zx", std::nullopt},
        {"2026-12-07 15:04", std::nullopt},
        {"-5x", std::nullopt},
        {"-h", std::nullopt},
        {"-9999999999d", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(ParseExportTime(c.text, kNow), c.ms) << c.text;

    const struct {
        int64_t ms;
        const char* text;
    } formatted[] = {{0, "1970-01-01T00:00:00.000Z"},
                     {-1, "1969-12-31T23:59:59.999Z"},
                     {kAt + 123, "2026-12-07T15:04:05.123Z"},
                     {1'709'164'800'000 + 43'200'007, "2024-02-29T12:00:00.007Z"}};
    for (const auto& f : formatted) EXPECT_EQ(FormatUtcMs(f.ms), f.text);
}

TEST(ExportTest, Arguments) {
    using Args = std::vector<std::string_view>;
    const struct {
        Args args;
        const char* error;  // null: accepted
    } cases[] = {
        {{"--since", "-999999999d", "--until", "9999-12-31T23:59:59.999Z"}, nullptr},
        {{"--db", "x.sqlite", "--host", "a", "--host", "b", "--since", "-1h", "--until",
          "2026-12-07T15:04:05Z", "--resolution", "minute", "--format", "json"},
         nullptr},
        {{"--verbose"}, "unknown argument --verbose"},
        {{"--host"}, "--host needs a value"},
        {{"--since", "yesterday"}, "--since: not a time: yesterday"},
        {{"--resolution", "hour"}, "--resolution takes raw or minute"},
        {{"--format", "xml"}, "--format takes csv or json"},
        {{"--since", "-1h", "--until", "-2h"}, "--since is later than --until"},
    };
    for (const auto& c : cases) {
        const auto got = ParseExportArgs(c.args, kNow);
        if (c.error) {
            ASSERT_TRUE(std::holds_alternative<std::string>(got)) << c.error;
            EXPECT_EQ(std::get<std::string>(got), c.error);
        } else {
            ASSERT_TRUE(std::holds_alternative<ExportRequest>(got)) << std::get<std::string>(got);
        }
    }
    const auto defaults = std::get<ExportRequest>(ParseExportArgs({}, kNow));
    EXPECT_EQ(defaults.sinceMs, kNow - 86'400'000);
    EXPECT_EQ(defaults.untilMs, kNow);
    EXPECT_TRUE(defaults.db.empty() && defaults.hosts.empty());
    EXPECT_EQ(defaults.resolution, Resolution::kRaw);
    EXPECT_EQ(defaults.format, ExportFormat::kCsv);
    const auto full = std::get<ExportRequest>(ParseExportArgs(cases[1].args, kNow));
    EXPECT_EQ(full.db, "x.sqlite");
    EXPECT_EQ(full.hosts, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(full.sinceMs, kNow - 3'600'000);
    EXPECT_EQ(full.untilMs, kAt);
    EXPECT_EQ(full.resolution, Resolution::kMinute);
    EXPECT_EQ(full.format, ExportFormat::kJson);
}

TEST(ExportTest, DefaultStorePath) {
    const struct {
        StorePathInputs in;
        const char* path;
    } cases[] = {{{"/d", "/x", "/home/u"}, "/d/samples.sqlite"},
                 {{"", "/x", "/home/u"}, "/x/sondrel/samples.sqlite"},
                 {{"", "rel", "/home/u"}, "/home/u/.local/share/sondrel/samples.sqlite"},
                 {{"", "", "/home/u"}, "/home/u/.local/share/sondrel/samples.sqlite"}};
    for (const auto& c : cases) EXPECT_EQ(DefaultStorePath(c.in), c.path);
}

}  // namespace
}  // namespace sondrel
