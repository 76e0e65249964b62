// The loudness controls of the More... panel: they show the settings, store what the user picks
// or types for the next start to load, and a first start stores none of their keys.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QTest>

#include "base/context.h"
#include "settings/run_settings_file.h"
#include "settings/ini_file.h"
#include "support/temp_dir.h"
#include "ui/frm_gui.h"
#include "ui/qt_host.h"
#include "ui/windows.h"

namespace varnook::test {
namespace {

TEST(LoudnessControls, ShowAndStoreModeTargetAndCeiling)
{
    TempDir dir;
    ui::QtHost host;
    Context ctx{host}, next{host};
    ctx.settings.SettingsPath = next.settings.SettingsPath = dir.File("varnook.ini");
    ctx.settings.SettingsSection = kSettingsSection;
    const auto stored = [&](const char* key) { return ReadIni(dir.File("varnook.ini"), kSettingsSection, key, "-"); };
    LoadSettings(ctx);
    auto gui = ui::OpenWindows(host, ctx);
    gui->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(gui.get()));
    EXPECT_EQ(stored("Loudness") + stored("Target") + stored("TruePeak"), "---");
    EXPECT_EQ(gui->cboLoudness->currentText() + gui->tbxTarget->text() + "|" + gui->tbxTruePeak->text(), "rg1-18|");

    gui->Frame1->show();
    gui->cboLoudness->setCurrentIndex(1);
    emit gui->cboLoudness->activated(1);
    // Typed, then shown and stored once the focus moves on: a wrong text brings the last back.
    for (const auto& [box, key, typed, shown] : {std::tuple{gui->tbxTarget, "Target", "-16", "-16"},
                                                 {gui->tbxTruePeak, "TruePeak", "-1.5", "-1.5"},
                                                 {gui->tbxTruePeak, "TruePeak", "loud", "-1.5"},
                                                 {gui->tbxTruePeak, "TruePeak", "", ""}}) {
        box->setFocus(Qt::MouseFocusReason);
        box->setText(typed);
        gui->tbxPink->setFocus(Qt::TabFocusReason);
        EXPECT_EQ(box->text().toStdString() + "|" + stored(key), std::string(shown) + "|" + shown) << typed;
    }
    LoadSettings(next);
    EXPECT_EQ(next.settings.Loudness, LoudnessMode::R128);
    EXPECT_EQ(next.settings.Target, -16);
    EXPECT_FALSE(next.settings.TruePeak.has_value());
}

}  // namespace
}  // namespace varnook::test
