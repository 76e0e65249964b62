#include "encoder/encoder.h"

#include <cstdlib>
#include <filesystem>
#include <optional>

#include <unistd.h>

#include "base/context.h"
#include "io/exist_file.h"
#include "io/paths.h"
#include "base/stop_request.h"
#include "encoder/child_process.h"
#include "encoder/lame_arguments.h"
#include "encoder/whole_output.h"
#include "io/errors.h"
#include "io/file_moves.h"
#include "io/guarded.h"
#include "io/work_file.h"
#include "io/work_files.h"
#include "provenance/provenance.h"

namespace varnook {
namespace {

constexpr const char* kEncoderName = "lame";
// Tag texts are UTF-8, and lame reads its arguments in the locale's character set: in the "C"
// locale it cuts a title at its first non-ASCII letter.
const std::vector<std::string> kEncoderLocale{"LC_ALL=C.UTF-8", "LANG=C.UTF-8"};

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

// lame reads a word that starts with "-" as an option, and a relative path may start so.
std::string Absolute(const std::string& path)
{
    return std::filesystem::absolute(path).string();
}

}  // namespace

StepEnd Encoded(Context& ctx, const std::string& options, const std::string& inFile,
                const std::string& outFile, std::string* encoderError, const TagCarry* carry)
{
    // A stop asked for before lame starts is not left to the race with a short file's end.
    if (ctx.stop->Requested()) return StepEnd::Stopped;
    const std::string tempOut = Absolute(FolderOf(outFile) + WorkFileName(WorkFile::Encode, ctx.request.Job));

    pid_t child = 0;
    std::optional<ChildErrorLine> errors;
    const bool started = Guarded(
        ctx.host, "Encoded",
        [&] {
            // lame opens its output by name and would write through a link planted there.
            CreateWorkFile(tempOut).Close();
            std::vector<std::string> args =
                LameArguments(ctx.settings.KeepTag, ctx.tagsV2, ctx.tagsV1, options, Absolute(inFile), tempOut,
                              carry != nullptr ? carry->Room : 0);
            if (options != kDecodeOption && !ctx.request.Provenance.empty()) {
                const std::vector<std::string> mark = ProvenanceLameOptions(ctx.request.Provenance);
                args.insert(args.end() - 2, mark.begin(), mark.end());
            }
            args.insert(args.begin(), kEncoderName);
            errors.emplace();
            child = StartChild(FindLame(ctx.programPath), args, &*errors, kEncoderLocale);
        },
        kInterruptedIntro);
    if (!started) {
        RemoveWorkFile(tempOut);
        return StepEnd::Failed;
    }

    const int exitCode = WaitForProcess(child, false, ctx.host, ctx.stop.get(), &*errors);
    if (exitCode != 0) {
        RemoveWorkFile(tempOut);
        // A lame ended by a stop did not fail; its last words are about the stop anyway.
        if (ctx.stop->Requested()) return StepEnd::Stopped;
        if (encoderError) *encoderError = errors->Last();
        return StepEnd::Failed;
    }
    // lame's exit code says it ran to the end, not that its output reached the disk.
    const bool whole = options == kDecodeOption ? WavOutputWhole(tempOut) : Mp3OutputWhole(tempOut);
    if (!whole) {
        if (ExistFile(tempOut)) ctx.host.LogLine("Incomplete output from lame (is the disk full?)");
        RemoveWorkFile(tempOut);
        return StepEnd::Failed;
    }
    if (carry != nullptr && !carry->Write(tempOut)) {
        RemoveWorkFile(tempOut);
        return StepEnd::Failed;
    }
    try {
        ReplaceByRename(tempOut, outFile);
    } catch (...) {
        ::unlink(tempOut.c_str());
        throw;
    }
    return StepEnd::Finished;
}

}  // namespace varnook
