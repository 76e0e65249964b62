// Names parameterised test rows after their `name` field, so a failure reads "TrimYesIsOff".
#pragma once

#include <gtest/gtest.h>

#include <string>

namespace varnook::test {

struct RowName {
    template <class Row>
    std::string operator()(const ::testing::TestParamInfo<Row>& info) const { return info.param.name; }
};

}  // namespace varnook::test
