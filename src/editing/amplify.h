// Amplify: writes ctx.request.WorkPath amplified by a gain in dB to ctx.request.TempPath,
// never clipping. Same length, header and trailer bytes as the source.
#pragma once

namespace varnook {

struct Context;

bool Leveled(Context& ctx, double gain);

}  // namespace varnook
