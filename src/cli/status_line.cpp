#include "cli/status_line.h"

#include <unistd.h>

#include <cstdio>

namespace varnook {
namespace {

// Long enough for a file name or two, short enough for a narrow terminal not to wrap, which
// would leave the line's first half behind at every redraw.
constexpr size_t kMaxLine = 78;
constexpr const char* kEraseLine = "\r\033[K";

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

std::string StatusText(const RunProgress& progress, std::chrono::seconds elapsed)
{
    const auto total = static_cast<double>(progress.BytesTotal);
    const double share = total > 0 ? static_cast<double>(progress.BytesDone) / total : 0.0;
    std::string text = std::to_string(progress.Finished) + "/" + std::to_string(progress.Total) + " files  " +
                       std::to_string(static_cast<int>(share * 100)) + "%  " + Clock(elapsed.count()) +
                       " elapsed";
    if (share > 0 && share < 1) {
        const auto left = static_cast<int64_t>(static_cast<double>(elapsed.count()) * (1 - share) / share);
        text += "  " + Clock(left) + " left";
    }
    for (size_t i = 0; i < progress.InHand.size(); ++i) text += (i == 0 ? "  " : ", ") + progress.InHand[i];
    if (text.size() > kMaxLine) {
        // Cut before a character, never inside one: half of it shows as a stray sign.
        size_t cut = kMaxLine - 3;
        while (cut > 0 && ContinuesACharacter(text[cut])) --cut;
        text = text.substr(0, cut) + "...";
    }
    return text;
}

StatusLine::StatusLine() : enabled_(::isatty(STDERR_FILENO) == 1) {}

StatusLine::~StatusLine()
{
    Clear();
}

void StatusLine::Draw(const RunProgress& progress)
{
    if (!enabled_) return;
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start_);
    std::string text = StatusText(progress, elapsed);
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
