// A Host that remembers everything it was told, for tests to compare with what they expect.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "base/host.h"

namespace varnook::test {

class RecordingHost : public Host {
public:
    void LogLine(const std::string& line) override { lines.push_back(line); }
    void SetCaption(const std::string& caption) override { captions.push_back(caption); }
    void Yield() override { onYield(++yields); }
    void ErrorBox(const std::string& text) override { errorBoxes.push_back(text); }
    WindowState ProgressWindowState() const override { return WindowState::Normal; }

    std::vector<std::string> lines, captions, errorBoxes;
    int yields = 0;
    std::function<void(int)> onYield = [](int) {};  // run at every yield with the count so far
};

}  // namespace varnook::test
