#include "cli/status_line.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "cli/terminal_text.h"

namespace varnook {
namespace {

// Long enough for a file name or two, short enough for a narrow terminal not to wrap, which
// would leave the line's first half behind at every redraw.
constexpr size_t kMaxLine = 78;
constexpr const char* kEraseLine = "\r\033[K";
// How fast the time left shown follows a new estimate (see TimeLeft).
constexpr double kSmoothingSeconds = 30;

std::string Clock(int64_t seconds)
{
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(seconds / 60),
                  static_cast<long long>(seconds % 60));
    return text;
}

// The second and later bytes of a UTF-8 character are 10xxxxxx.
bool ContinuesACharacter(char byte)
{
    return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

}  // namespace

std::string StatusText(const RunProgress& progress, std::chrono::seconds elapsed,
                       std::optional<std::chrono::seconds> left)
{
    const double share = progress.SecondsTotal > 0 ? std::min(1.0, progress.SecondsDone / progress.SecondsTotal) : 0.0;
    std::string text = std::to_string(progress.Finished) + "/" + std::to_string(progress.Total) + " files  " +
                       std::to_string(static_cast<int>(share * 100)) + "%  " + Clock(elapsed.count()) +
                       " elapsed";
    if (left) text += "  " + Clock(left->count()) + " left";
    for (size_t i = 0; i < progress.InHand.size(); ++i)
        text += (i == 0 ? "  " : ", ") + TerminalSafe(progress.InHand[i]);
    if (text.size() > kMaxLine) {
        // Cut before a character, never inside one: half of it shows as a stray sign.
        size_t cut = kMaxLine - 3;
        while (cut > 0 && ContinuesACharacter(text[cut])) --cut;
        text = text.substr(0, cut) + "...";
    }
    return text;
}

std::optional<double> TimeLeft::At(double elapsed, double secondsDone, double secondsTotal)
{
    if (secondsDone <= 0 || secondsDone >= secondsTotal) {
        shown_.reset();
        return std::nullopt;
    }
    const double estimate = elapsed * (secondsTotal - secondsDone) / secondsDone;
    if (!shown_) {
        shown_ = estimate;
    } else {
        const double since = std::max(0.0, elapsed - shownAt_);
        const double counted = std::max(0.0, *shown_ - since);
        shown_ = counted + (estimate - counted) * (1 - std::exp(-since / kSmoothingSeconds));
    }
    shownAt_ = elapsed;
    return shown_;
}

StatusLine::StatusLine() : enabled_(IsTerminal(stderr)) {}

StatusLine::~StatusLine()
{
    Clear();
}

void StatusLine::Draw(const RunProgress& progress)
{
    if (!enabled_) return;
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start_;
    const std::optional<double> left = left_.At(elapsed.count(), progress.SecondsDone, progress.SecondsTotal);
    std::string text = StatusText(progress, std::chrono::duration_cast<std::chrono::seconds>(elapsed),
                                  left ? std::optional(std::chrono::seconds(std::llround(*left))) : std::nullopt);
    // Redrawn only when it changes: the run's thread asks many times a second.
    if (shown_ && text == drawn_) return;
    std::fprintf(stderr, "%s%s", kEraseLine, text.c_str());
    std::fflush(stderr);
    drawn_ = std::move(text);
    shown_ = true;
}

void StatusLine::Clear()
{
    if (!shown_) return;
    std::fputs(kEraseLine, stderr);
    std::fflush(stderr);
    shown_ = false;
}

}  // namespace varnook
