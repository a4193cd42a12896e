#include <gtest/gtest.h>

#include "details/LogFileName.h"

namespace sondrel {
namespace {

TEST(LogFileName, ProposedFromTheHostTextAndSuffixAddedWhenMissing) {
    const std::pair<std::string_view, std::string_view> proposals[] = {
        {"198.51.100.3", "198.51.100.3.log"},
        {"http://web.test/abc", "http___web.test_abc.log"},
        {"a\\b*c?d\"e<f>g|h\ti\x7fj", "a_b_c_d_e_f_g_h_i_j.log"},
        {"caf\xc3\xa9.test", "caf\xc3\xa9.test.log"},  // UTF-8 letters stay
    };
    for (const auto& [host, proposed] : proposals)
        EXPECT_EQ(ProposedLogName(host), proposed) << host;
    for (const auto& [chosen, saved] : {std::pair{"/tmp/host", "/tmp/host.log"},
                                        {"/tmp/host.log", "/tmp/host.log"},
                                        {"/tmp/host.LOG", "/tmp/host.LOG"},
                                        {"/tmp/host.log.txt", "/tmp/host.log.txt.log"}})
        EXPECT_EQ(WithLogSuffix(chosen), saved) << chosen;
}

}  // namespace
}  // namespace sondrel
