#include "encoder/encoder.h"

#include <chrono>
#include <cstdlib>
#include <thread>

#include <csignal>
#include <unistd.h>

#include "base/context.h"
#include "io/exist_file.h"
#include "io/paths.h"
#include "base/stop_request.h"
#include "encoder/child_process.h"
#include "encoder/lame_arguments.h"
#include "io/errors.h"
#include "io/file_moves.h"
#include "io/guarded.h"
#include "io/work_files.h"
#include "provenance/provenance.h"

namespace varnook {
namespace {

constexpr const char* kEncoderName = "lame";
// Long enough to leave the core idle while lame works, short enough that the windows feel live.
constexpr std::chrono::milliseconds kPollInterval{5};
// How long lame may take to leave after SIGTERM before it is killed outright.
constexpr std::chrono::seconds kTerminateGrace{2};

// Ends a child that was asked to stop, and returns how it ended.
ChildExit Terminate(pid_t child)
{
    ::kill(child, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + kTerminateGrace;
    while (std::chrono::steady_clock::now() < deadline) {
        if (const std::optional<ChildExit> exit = TryReapChild(child)) return *exit;
        std::this_thread::sleep_for(kPollInterval);
    }
    ::kill(child, SIGKILL);
    return ReapChild(child);
}

std::string SearchPath()
{
    if (const char* path = std::getenv("PATH")) return path;
    const size_t length = ::confstr(_CS_PATH, nullptr, 0);
    std::string fallback(length, '\0');
    if (length > 0) ::confstr(_CS_PATH, fallback.data(), length);
    if (!fallback.empty() && fallback.back() == '\0') fallback.pop_back();
    return fallback;
}

std::string FindLame(const std::string& programPath)
{
    std::string lame = FindProgram(kEncoderName, programPath, SearchPath());
    if (lame.empty()) throw FileError(file_errors::kFileNotFound, FileErrorText(file_errors::kFileNotFound));
    return lame;
}

}  // namespace

bool Encoded(Context& ctx, const std::string& options, const std::string& inFile,
             const std::string& outFile)
{
    // lame always writes a work file first, so a failed run never leaves a half-written file
    // under the output's own name, and an existing output survives until the new one is whole.
    const std::string tempOut = FolderOf(outFile) + WorkFileName(WorkFile::Encode, ctx.request.Job);

    pid_t child = 0;
    const bool started = Guarded(
        ctx.host, "Encoded",
        [&] {
            std::vector<std::string> args =
                LameArguments(ctx.settings.KeepTag, ctx.tagsV2, ctx.tagsV1, options, inFile, tempOut);
            if (options != kDecodeOption && !ctx.request.Provenance.empty()) {
                const std::vector<std::string> mark = ProvenanceLameOptions(ctx.request.Provenance);
                args.insert(args.end() - 2, mark.begin(), mark.end());
            }
            args.insert(args.begin(), kEncoderName);
            child = StartChild(FindLame(ctx.programPath), args);
        },
        kInterruptedIntro);
    if (!started) {
        RemoveIfPresent(tempOut);
        return false;
    }

    if (WaitForProcess(child, false, ctx.host, ctx.stop.get()) != 0) {
        RemoveIfPresent(tempOut);
        return false;
    }
    if (!ExistFile(tempOut)) return false;
    ReplaceByRename(tempOut, outFile);
    return true;
}

int WaitForProcess(pid_t processId, bool blocking, Host& host, const StopRequest* stop)
{
    if (blocking) return ExitCodeOf(ReapChild(processId));
    for (;;) {
        if (const std::optional<ChildExit> exit = TryReapChild(processId)) return ExitCodeOf(*exit);
        // A child that finishes just as the stop comes keeps its exit code 0 and its output.
        if (stop != nullptr && stop->Requested()) return ExitCodeOf(Terminate(processId));
        host.Yield();
        std::this_thread::sleep_for(kPollInterval);
    }
}

}  // namespace varnook
