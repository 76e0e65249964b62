// The records of a run and of one file in it. RunRecords is what every file of a run starts
// from, as start-up (and, between runs, the windows) left it; a Context is one file's: the run's
// records whole, plus the host it reports through, the WAV info of the file last checked, the two
// ID3 tag sets and the filter in force. Steps receive a Context (or the parts they need) by
// reference; there are no mutable globals, so two files can be processed side by side with two
// contexts.
#pragma once

#include "base/filter_coefficients.h"
#include "base/host.h"
#include "base/id3_tags.h"
#include "base/run_request.h"
#include "base/run_settings.h"
#include "base/stop_request.h"
#include "base/wav_info.h"

#include <memory>
#include <optional>
#include <string>

namespace varnook {

struct RunRecords {
    char decimalSeparator = '.';  // the locale's, found once at start-up
    std::string programPath;      // the running varnook program file (settings file and lame lookup)
    RunSettings settings;
    RunRequest request;
    // Shared with whatever asks for a stop from outside the run (a signal, the windows).
    std::shared_ptr<StopRequest> stop = std::make_shared<StopRequest>();
};

// A copy of the work file at a rate the equal-loudness filter has a set for, made where the
// work file's own rate (a 24-bit file of 88.2 or 96 kHz) has none. The analysis measures the
// copy in the work file's place; positions in the work file are taken over by time, from the
// work file's data start and layout as they were when the copy was made.
struct MeasuringCopy {
    std::string Path;
    WavInfo Wav;               // the copy's layout
    int32_t FromDataStart = 0; // the work file's, when the copy was made
    int16_t FromBlockAlign = 0;
    int32_t FromRate = 0;
};

struct Context : RunRecords {
    explicit Context(Host& h) : host(h) {}
    // One file's context: a copy of the run's records whole, so that a record added to them
    // reaches every file without anyone copying it by hand; what a file changes (the output's
    // say over Encode, the paths of its request) stays its own.
    Context(const RunRecords& run, Host& h) : RunRecords(run), host(h) {}

    Host& host;
    WavInfo wav;
    Id3TagSet tagsV1;
    Id3TagSet tagsV2;
    FilterCoefficients filter;
    std::optional<MeasuringCopy> measuringCopy;
    // In an album: the album's gain less the track's own recommended gain. The trim step adds it
    // to the levels it measures on the leveled file, so that its thresholds stay relative to the
    // track's own level and a quiet track is not cut as silence.
    double AlbumShift = 0;
};

}  // namespace varnook
