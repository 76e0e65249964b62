// How a processing step ended, which the pipeline turns into the file's result. Steps never
// report a stop as a failure, and the pipeline never tells the one from the other by the log.
#pragma once

namespace varnook {

enum class StepEnd {
    Finished,  // ran to its end
    Failed,    // did not do its work; its log lines say why
    Stopped,   // a stop request cut it short; what it wrote is not to be kept
};

}  // namespace varnook
