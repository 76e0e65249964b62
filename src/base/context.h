// Everything one file's processing reads and writes, owned in one place: the host that reports,
// the Run settings, the Run request, the WAV info of the file last checked, the two ID3 tag sets
// and the filter in force. Steps receive it (or the parts they need) by reference; there are no
// mutable globals, so two files can be processed side by side with two contexts.
#pragma once

#include "base/filter_coefficients.h"
#include "base/host.h"
#include "base/run_request.h"
#include "base/run_settings.h"
#include "base/stop_request.h"
#include "base/id3_tags.h"
#include "base/wav_info.h"

#include <memory>
#include <string>

namespace varnook {

// The host a context reports through, which can be handed over while the records stay where
// they are: start-up loads the settings on the console, then the batch or the windows take the
// same context and point it at their own host.
class HostSlot final : public Host {
public:
    explicit HostSlot(Host& target) : target_(&target) {}
    HostSlot(const HostSlot&) = delete;
    HostSlot& operator=(const HostSlot&) = delete;

    // The host the slot points at now: what a host that wraps the context's reporting wraps.
    Host& Target() const { return *target_; }

    // Points the slot at `target` and returns the host it pointed at before. A `target` that
    // passes its calls on to this very slot (a wrapper built around the slot instead of its
    // Target()) would send every call round in a circle for ever: the program stops at once
    // with a message saying so, in every build, since the circle would hang it anyway.
    Host& ReportTo(Host& target);

    void LogLine(const std::string& line) override { target_->LogLine(line); }
    void SetCaption(const std::string& caption) override { target_->SetCaption(caption); }
    void Yield() override { target_->Yield(); }
    void ErrorBox(const std::string& text) override { target_->ErrorBox(text); }
    WindowState ProgressWindowState() const override;
    bool TrimMeasured(const TrimPicture& picture) override { return target_->TrimMeasured(picture); }
    void ShowProgress(size_t finished, size_t total) override { target_->ShowProgress(finished, total); }

private:
    bool ForwardsHere(const Host& host) const;

    Host* target_;
    // Set while ForwardsHere waits to see whether its question comes back to this slot.
    mutable bool probing_ = false;
    mutable bool probeCameBack_ = false;
};

// Hands a context to another host for as long as it lives, then back.
class ReportingThrough {
public:
    ReportingThrough(HostSlot& slot, Host& target) : slot_(slot), previous_(slot.ReportTo(target)) {}
    ~ReportingThrough() { slot_.ReportTo(previous_); }
    ReportingThrough(const ReportingThrough&) = delete;
    ReportingThrough& operator=(const ReportingThrough&) = delete;

private:
    HostSlot& slot_;
    Host& previous_;
};

struct Context {
    explicit Context(Host& h) : host(h) {}

    HostSlot host;
    char decimalSeparator = '.';  // the locale's, found once at start-up
    std::string programPath;      // the running varnook program file (settings file and lame lookup)
    RunSettings settings;
    RunRequest request;
    WavInfo wav;
    Id3TagSet tagsV1;
    Id3TagSet tagsV2;
    FilterCoefficients filter;
    // Shared with whatever asks for a stop from outside the run (a signal, the windows).
    std::shared_ptr<StopRequest> stop = std::make_shared<StopRequest>();
};

}  // namespace varnook
