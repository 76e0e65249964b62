// The batch pipeline: takes the file named by ctx.request.SourcePath through every step the
// Run settings ask for, reporting each step to the host.
#pragma once

namespace varnook {

struct Context;

void ProcessFile(Context& ctx);

}  // namespace varnook
