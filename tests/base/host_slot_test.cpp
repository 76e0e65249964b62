#include "base/context.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "control/file_watch.h"
#include "support/recording_host.h"

namespace varnook {
namespace {

// A wrapper built around the slot itself and put into it would pass every call round in a
// circle; the slot stops the program at once instead. One around the slot's target serves.
TEST(HostSlotDeathTest, AWrapperAroundTheSlotIsRefusedAndOneAroundItsTargetServes)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    test::RecordingHost console;
    HostSlot slot(console);
    FileWatch aroundSlot(slot);
    EXPECT_DEATH(slot.ReportTo(aroundSlot), "must wrap the slot's Target");

    FileWatch aroundTarget(slot.Target());
    const ReportingThrough reporting(slot, aroundTarget);
    slot.LogLine("through the watch");
    EXPECT_EQ(console.lines, std::vector<std::string>{"through the watch"});
}

}  // namespace
}  // namespace varnook
