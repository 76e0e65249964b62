// What the trim step measured of one file, handed to the host so that it can be drawn: the
// level of each 50 ms window, the thresholds, and where the step cut and faded. A plain record
// with no Qt in it; the windows and the /plot pictures draw it (ui/loudness_picture.h).
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace varnook {

struct TrimPicture {
    // A measured window: its start in seconds from the start of the sample data as it was before
    // the trim, and its level as the trim step compares it with the thresholds (the window's
    // recommended gain plus NewLevel: dB below the average, so a larger value is quieter).
    struct Window {
        double Seconds = 0;
        double Level = 0;
    };

    std::string SourcePath;  // the file the user named; /plot names its picture after it
    std::string PlotPath;    // where the finished picture goes as a PNG (the run names it); empty: nowhere
    double Seconds = 0;      // the length of the sample data before the trim
    double WindowSeconds = 0;
    std::array<double, 4> Thresholds{};  // cut-in, fade-in, fade-out, cut-out (TrimIndex order)
    std::vector<Window> Windows;         // in the order measured
    // Positions in seconds on the same time line, each set once the step has found it.
    std::optional<double> CutIn, FadeInEnd, FadeOutStart, CutOut;
    // Seconds of silence before CutIn and after CutOut: as asked until the cut-in is found, then
    // as written (less when the cut-in leaves less room; none for a file left as it was).
    double LeadIn = 0;
    double LeadOut = 0;
    bool Complete = false;  // the step has finished with this file
};

}  // namespace varnook
