// The command line: source paths, then "/key value" arguments that override Run settings for
// this run only. Nothing here writes the settings file.
#pragma once

#include <string>
#include <vector>

namespace varnook {

struct Context;

struct ParsedCommandLine {
    // Every word before the first key argument, made absolute, in the order given.
    std::vector<std::string> Sources;
    // Those of Sources that name no existing file or folder.
    std::vector<std::string> MissingSources;
    bool ShowHelp = false;
    bool ShowVersion = false;
    // "--open": the sources go into the main window's list, as the desktop's "Open With" hands
    // them over, and nothing is processed until the user presses Go!.
    bool OpenInWindow = false;
    // The first value a key does not take ("/rp takes a number above 0 up to 1, not \"0\""),
    // or empty. The program then stops with a usage error.
    std::string UsageError;
};

// Applies args (argv without the program name) to ctx.settings and ctx.request; a value its key
// does not take is left out and reported in UsageError. Sets ctx.request.SourcePath to the
// first existing source, or empty. "--help", "--version" and "--open" right after a text key without an
// attached value ("/lame --help") are that key's words.
ParsedCommandLine ParseCommandLine(Context& ctx, const std::vector<std::string>& args);

}  // namespace varnook
