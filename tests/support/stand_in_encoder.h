// Stand-ins for lame: small shell scripts named "lame" in a folder of their own, put first on
// PATH, that break the encoder contract in one chosen way or record what they were given.
#pragma once

#include <array>
#include <ostream>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace varnook::test {

enum class StandIn {
    Missing,                 // no lame at all: the search path is the stand-in's empty folder
    FailAfterPartialOutput,  // writes half a file to its last argument, then exits 1
    SucceedWithoutOutput,    // exits 0 and writes nothing
    CrashBySignal,           // writes a little, then kills itself with SIGSEGV
    RecordThenRealLame,      // records its arguments, then runs the real lame with them
    Hang,                    // writes a little, notes its process id in "hung.pid", then sleeps
    RemoveThenRealLame,      // deletes the file given as `victim`, then runs the real lame
    WatchOverlapThenRealLame,  // runs the real lame slowly, noting in "overlaps" any run that
                               // started while another was under way
};

// The stand-ins that break the contract, named for test tables.
struct NamedStandIn {
    const char* name;
    StandIn behaviour;
};

inline void PrintTo(const NamedStandIn& standIn, std::ostream* os)
{
    *os << standIn.name;
}

inline constexpr std::array<NamedStandIn, 3> kBrokenStandIns{{
    {"Missing", StandIn::Missing},
    {"ExitZeroWithoutOutput", StandIn::SucceedWithoutOutput},
    {"KilledBySignal", StandIn::CrashBySignal},
}};

class StandInEncoder {
public:
    // `victim` is the file RemoveThenRealLame deletes; other stand-ins ignore it.
    explicit StandInEncoder(StandIn behaviour, const std::string& victim = {});
    // A file the stand-in writes in its folder ("hung.pid", "overlaps"); empty when absent.
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
    StandIn behaviour_;
};

}  // namespace varnook::test
