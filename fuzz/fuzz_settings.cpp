// Loading the Run settings from an arbitrary settings file: every field gets a defined value in
// its range, nothing crashes, and loading never writes the file.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "base/context.h"
#include "base/run_settings.h"
#include "settings/run_settings_file.h"
#include "base/host.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static varnook::QuietHost host;
    const std::string path = varnook::fuzz::WriteScratchFile("varnook.ini", data, size);
    varnook::Context ctx(host);
    ctx.settings.SettingsPath = path;
    varnook::LoadSettings(ctx);
    const auto& s = ctx.settings;
    if (s.RmsPercent < 0 || s.RmsPercent > 1 || s.RmsDiff < 0 || s.Arguments.size() > 4 * 254) std::abort();

    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> after{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (after.size() != size || (size > 0 && std::memcmp(after.data(), data, size) != 0)) std::abort();
    return 0;
}
