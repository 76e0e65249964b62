#include <clocale>
#include <cstdio>
#include <string>
#include <vector>

#include "control/batch.h"
#include "control/context.h"
#include "control/host.h"
#include "control/start_up.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitUnavailable = 2;

}  // namespace

int main(int argc, char** argv)
{
    // Numbers are read and written in the user's notation: "-1,5" in a comma locale.
    std::setlocale(LC_ALL, "");
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);

    varnook::ConsoleHost host;
    varnook::Context ctx(host);
    ctx.programPath = varnook::ProgramFilePath(argc > 0 ? argv[0] : nullptr);
    const varnook::ParsedCommandLine commandLine = varnook::StartUp(ctx, args);

    if (commandLine.ShowHelp) {
        std::fputs(varnook::UsageText().c_str(), stdout);
        return kExitOk;
    }
    if (commandLine.ShowVersion) {
        std::printf("varnook %s\n", VARNOOK_VERSION);
        return kExitOk;
    }
    // Batch mode reports missing sources in its log, beside the files it did process.
    if (!ctx.request.SourcePath.empty()) return varnook::RunBatch(ctx, commandLine);

    for (const std::string& missing : commandLine.MissingSources)
        std::fprintf(stderr, "varnook: no such file or folder: %s\n", missing.c_str());

    std::fprintf(stderr, "varnook: window mode is not available yet\n");
    return kExitUnavailable;
}
