// Everything one file's processing reads and writes, owned in one place: the host that reports,
// the Run settings, the Run request, the WAV info of the file last checked, the two ID3 tag sets
// and the filter in force. Steps receive it (or the parts they need) by reference; there are no
// mutable globals, so two files can be processed side by side with two contexts.
#pragma once

#include "analysis/filter_coefficients.h"
#include "control/host.h"
#include "control/run_request.h"
#include "control/run_settings.h"
#include "id3/id3_tags.h"
#include "wav/wav_info.h"

#include <string>

namespace varnook {

struct Context {
    explicit Context(Host& h) : host(h) {}

    // Everything but the host: how a run hands its records to one that reports elsewhere (the
    // windows take over what start-up loaded on the console).
    void CopyRecordsFrom(const Context& other)
    {
        decimalSeparator = other.decimalSeparator;
        programPath = other.programPath;
        settings = other.settings;
        request = other.request;
        wav = other.wav;
        tagsV1 = other.tagsV1;
        tagsV2 = other.tagsV2;
        filter = other.filter;
    }

    Host& host;
    char decimalSeparator = '.';  // the locale's, found once at start-up
    std::string programPath;      // the running varnook program file (settings file and lame lookup)
    RunSettings settings;
    RunRequest request;
    WavInfo wav;
    Id3TagSet tagsV1;
    Id3TagSet tagsV2;
    FilterCoefficients filter;
};

}  // namespace varnook
