#include <gtest/gtest.h>

#include "tolm/update/version.h"

namespace {

using tolm::CheckVersion;
using tolm::VersionCheck;

TEST(VersionTest, ComparesNumberByNumberForDifferenceNotOrder) {
    struct Case {
        const char* published;
        VersionCheck want;
    } cases[] = {
        {"1.0.34", VersionCheck::Same},
        {"1.00.034", VersionCheck::Same},
        {" 1 . 0 .34 ", VersionCheck::Same},
        {"+1.-0.34", VersionCheck::Same},
        {"1.0.34.", VersionCheck::Same},
        {"1.0.35", VersionCheck::Differs},
        {"1.0.33", VersionCheck::Differs},
        {"0.9.34", VersionCheck::Differs},
        {"2.0.0", VersionCheck::Differs},
        {"1.0.34.1", VersionCheck::Differs},  // the third piece keeps its dots: 34.1
        {"1.0.-34", VersionCheck::Differs},
        {"1.0.34000000000000000000000000000000000000", VersionCheck::Differs},
        {"4294967297.0.34", VersionCheck::Differs},  // no wrap-around into 1
        {"", VersionCheck::Unknown},
        {"   ", VersionCheck::Unknown},
        {"1.0", VersionCheck::Unknown},
        {"1..34", VersionCheck::Unknown},
        {"1.0.34|x", VersionCheck::Unknown},
        {"1.0.3 4", VersionCheck::Unknown},
        {"1.0.+", VersionCheck::Unknown},
        {"1.0.0x22", VersionCheck::Unknown},
        {"1.0.1e1", VersionCheck::Unknown},
        {"1.0.\xEF\xBC\x93\xEF\xBC\x94", VersionCheck::Unknown},  // full-width digits
        {"1.0.\xD9\xA3\xD9\xA4", VersionCheck::Unknown},          // Arabic-Indic digits
        {"1.0.34\n<SCRIPT>x</SCRIPT>", VersionCheck::Unknown},
    };
    for (const Case& c : cases) EXPECT_EQ(CheckVersion(c.published, {1, 0, 34}), c.want) << '"' << c.published << '"';
    EXPECT_EQ(CheckVersion("0.0.0", {0, 0, 0}), VersionCheck::Same);
    EXPECT_EQ(CheckVersion("-0.0.0", {0, 0, 0}), VersionCheck::Same);
}

}  // namespace
