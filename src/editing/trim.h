// Trim: cuts the silence at the start and end of ctx.request.WorkPath in place, fades in and
// out, writes lead-in and lead-out silence and truncates the file; updates ctx.wav.
#pragma once

namespace varnook {

struct Context;

bool Trimmed(Context& ctx);

}  // namespace varnook
