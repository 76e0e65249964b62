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
};

// Applies args (argv without the program name) to ctx.settings and ctx.request. Sets
// ctx.request.SourcePath to the first existing source, or empty.
ParsedCommandLine ParseCommandLine(Context& ctx, const std::vector<std::string>& args);

}  // namespace varnook
