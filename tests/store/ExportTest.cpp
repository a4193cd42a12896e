#include <gtest/gtest.h>

#include <variant>

#include "store/Export.h"
#include "store/SampleStore.h"

namespace sondrel {
namespace {

constexpr int64_t kAt = 1'796'655'845'000;             // 2026-12-07T15:04:05Z
constexpr int64_t kNow = kAt + (53 * 60 + 20) * 1000;  // 2026-12-07T15:57:25Z

TEST(ExportTest, Times) {
    const std::pair<const char*, std::optional<int64_t>> cases[] = {
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
    for (const auto& [text, ms] : cases) EXPECT_EQ(ParseExportTime(text, kNow), ms) << text;

    const std::pair<int64_t, const char*> formatted[] = {
        {0, "1970-01-01T00:00:00.000Z"},
        {-1, "1969-12-31T23:59:59.999Z"},
        {kAt + 123, "2026-12-07T15:04:05.123Z"},
        {1'709'164'800'000 + 43'200'007, "2024-02-29T12:00:00.007Z"}};
    for (const auto& [ms, text] : formatted) EXPECT_EQ(FormatUtcMs(ms), text);
}

// A request as "since until db [host]... resolution format", times from now; or the refusal.
std::string Parsed(const std::vector<std::string_view>& args) {
    const auto got = ParseExportArgs(args, kNow);
    if (const auto* refusal = std::get_if<std::string>(&got)) return *refusal;
    const auto& r = std::get<ExportRequest>(got);
    std::string text = std::to_string(r.sinceMs - kNow) + " " + std::to_string(r.untilMs - kNow) +
                       " " + r.db.string();
    for (const std::string& host : r.hosts) text += " [" + host + "]";
    return text + (r.resolution == Resolution::kMinute ? " minute" : " raw") +
           (r.format == ExportFormat::kJson ? " json" : " csv");
}

TEST(ExportTest, Arguments) {
    const std::pair<std::vector<std::string_view>, std::string> cases[] = {
        {{}, "-86400000 0  raw csv"},
        {{"--since", "-999999999d", "--until", "9999-12-31T23:59:59.999Z"},
         "-86399999913600000 " + std::to_string(253'402'300'799'999 - kNow) + "  raw csv"},
        {{"--db", "x.sqlite", "--host", "a", "--host", "b", "--since", "-1h", "--until",
          "2026-12-07T15:04:05Z", "--resolution", "minute", "--format", "json"},
         "-3600000 " + std::to_string(kAt - kNow) + " x.sqlite [a] [b] minute json"},
        {{"--host"}, "--host needs a value"},
        {{"--since", "yesterday"}, "--since: not a time: yesterday"},
        {{"--resolution", "hour"}, "--resolution takes raw or minute"},
        {{"--since", "-1h", "--until", "-2h"}, "--since is later than --until"},
    };
    for (const auto& [args, parsed] : cases)
        EXPECT_EQ(Parsed(args), parsed) << ::testing::PrintToString(args);
}

TEST(ExportTest, DefaultStorePath) {
    const std::pair<StorePathInputs, const char*> cases[] = {
        {{"/d", "/x", "/home/u"}, "/d/samples.sqlite"},
        {{"", "/x", "/home/u"}, "/x/sondrel/samples.sqlite"},
        {{"", "rel", "/home/u"}, "/home/u/.local/share/sondrel/samples.sqlite"},
        {{"", "", "/home/u"}, "/home/u/.local/share/sondrel/samples.sqlite"}};
    for (const auto& [in, path] : cases) EXPECT_EQ(DefaultStorePath(in), path);
}

}  // namespace
}  // namespace sondrel
