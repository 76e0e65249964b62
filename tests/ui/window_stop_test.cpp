// Closing the progress window asks for a stop at once, so that a step that waits (a hung lame,
// a long analysis) ends then and not at the next file; how a stop ends lame is shown by the
// batch's interrupt tests.
#include <gtest/gtest.h>

#include "base/context.h"
#include "support/temp_dir.h"
#include "ui/frm_gui.h"
#include "ui/frm_progress.h"
#include "ui/qt_host.h"
#include "ui/windows.h"

namespace varnook::test {
namespace {

TEST(WindowStop, ClosingTheProgressWindowAsksForAStop)
{
    TempDir dir;
    ui::QtHost host;
    Context ctx{host};
    ctx.settings.SettingsPath = dir.File("varnook.ini");
    const std::unique_ptr<ui::frmGUI> gui = ui::OpenWindows(host, ctx);
    EXPECT_FALSE(ctx.stop->Requested());
    host.Progress().close();
    EXPECT_TRUE(ctx.stop->Requested());
}

}  // namespace
}  // namespace varnook::test
