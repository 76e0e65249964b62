#include "control/library_walk.h"

#include <gtest/gtest.h>

namespace varnook {
namespace {

// Numbers by their value, leading zeros aside; letter case only to break a tie.
TEST(NaturalLess, PutsTheFirstOfEachPairBeforeTheSecond)
{
    for (const auto& [first, second] : std::vector<std::pair<std::string, std::string>>{
             {"track 2.wav", "track 10.wav"}, {"track 02.wav", "track 3.wav"},
             {"apple.wav", "Banana.wav"}, {"Track 1.wav", "track 1.wav"},
             {"99999999999999999999.wav", "100000000000000000000.wav"}}) {
        EXPECT_TRUE(NaturalLess(first, second)) << first;
        EXPECT_FALSE(NaturalLess(second, first)) << first;
    }
}

}  // namespace
}  // namespace varnook
