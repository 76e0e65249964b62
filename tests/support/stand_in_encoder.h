// Stand-ins for lame: small shell scripts named "lame" in a folder of their own, put first on
// PATH, for what the real lame cannot be made to do: end well without output, hang, or record
// what it was given.
#pragma once

#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace varnook::test {

enum class StandIn {
    SucceedWithoutOutput,      // exits 0 and writes nothing
    RecordThenRealLame,        // records its arguments, then runs the real lame with them
    Hang,                      // writes a little, notes its process id in "hung.pid", then sleeps
};

class StandInEncoder {
public:
    explicit StandInEncoder(StandIn behaviour);
    // A file the stand-in writes in its folder ("hung.pid"); empty when absent.
    std::string Note(const std::string& name) const;

    // The folder holding the stand-in "lame".
    std::string Folder() const { return dir_.Path().string(); }
    // A PATH text with the stand-in's folder first, then the current PATH.
    std::string SearchPathWithStandInFirst() const;
    // The arguments of every run so far, in order (RecordThenRealLame only); each run's list
    // starts after its program name.
    std::vector<std::vector<std::string>> RecordedRuns() const;

private:
    TempDir dir_;
};

}  // namespace varnook::test
