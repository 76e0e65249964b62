#include "control/library_walk.h"

#include <gtest/gtest.h>

#include "support/param_name.h"

namespace varnook {
namespace {

struct OrderCase {
    const char* name;
    std::string first;
    std::string second;
};

class NaturalOrder : public testing::TestWithParam<OrderCase> {};

TEST_P(NaturalOrder, PutsTheFirstBeforeTheSecond)
{
    EXPECT_TRUE(NaturalLess(GetParam().first, GetParam().second));
    EXPECT_FALSE(NaturalLess(GetParam().second, GetParam().first));
}

INSTANTIATE_TEST_SUITE_P(Names, NaturalOrder, testing::Values(
    OrderCase{"NumberByValue", "track 2.wav", "track 10.wav"},
    OrderCase{"LeadingZeros", "track 02.wav", "track 3.wav"},
    OrderCase{"LetterCaseIgnored", "apple.wav", "Banana.wav"},
    OrderCase{"TieByBytes", "Track 1.wav", "track 1.wav"},
    OrderCase{"LongNumbers", "99999999999999999999.wav", "100000000000000000000.wav"}),
    test::RowName());

}  // namespace
}  // namespace varnook
