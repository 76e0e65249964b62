#include "io/work_files.h"

#include <array>
#include <string_view>

namespace varnook {
namespace {

constexpr std::array<const char*, 4> kStems{"VRK", "VRKdec", "mp3", "VRKmeas"};
constexpr std::string_view kSuffix = ".tmp";

}  // namespace

std::string WorkFileName(WorkFile kind, int job)
{
    const char* stem = kStems[static_cast<size_t>(kind)];
    // "VRK.tmp" for job 0, "VRK.2.tmp" for job 2.
    return std::string(stem) + (job == 0 ? "" : "." + std::to_string(job)) + std::string(kSuffix);
}

bool IsWorkFileName(const std::string& name)
{
    const std::string_view text(name);
    if (!text.ends_with(kSuffix)) return false;
    for (const std::string_view stem : kStems) {
        if (!text.starts_with(stem)) continue;
        std::string_view job = text.substr(stem.size(), text.size() - stem.size() - kSuffix.size());
        if (job.empty()) return true;
        if (job.front() != '.' || job.size() < 2) continue;
        job.remove_prefix(1);
        if (job.find_first_not_of("0123456789") == std::string_view::npos) return true;
    }
    return false;
}

}  // namespace varnook
