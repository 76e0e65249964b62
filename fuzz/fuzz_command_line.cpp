// ParseCommandLine on arbitrary argument vectors (the input split at zero bytes).
#include <cstdint>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "base/context.h"
#include "base/host.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static varnook::QuietHost host;
    std::vector<std::string> args(1);
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0) args.emplace_back();
        else args.back() += static_cast<char>(data[i]);
    }
    varnook::Context ctx(host);
    (void)varnook::ParseCommandLine(ctx, args);
    return 0;
}
