// The loudness controls of the More... panel: they show the settings file and store what the
// user picks or types, and a first start writes none of their keys.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QTest>

#include "control/context.h"
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
    Context ctx{host};
    ctx.settings.SettingsPath = dir.File("varnook.ini");
    ctx.settings.SettingsSection = kSettingsSection;
    const auto stored = [&](const char* key) { return ReadIni(ctx.settings.SettingsPath, kSettingsSection, key, "<missing>"); };
    LoadSettings(ctx);
    auto gui = ui::OpenWindows(host, ctx);
    gui->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(gui.get()));
    EXPECT_EQ(stored("Loudness") + stored("Target") + stored("TruePeak"), "<missing><missing><missing>");
    EXPECT_EQ(gui->cboLoudness->currentText() + " " + gui->tbxTarget->text() + " [" + gui->tbxTruePeak->text() + "]",
              "rg1 -18 []");

    gui->Frame1->show();
    gui->cboLoudness->setCurrentIndex(1);
    emit gui->cboLoudness->activated(1);
    EXPECT_EQ(stored("Loudness"), "r128");
    // Typed text, then what the box shows and what is stored once the focus moves on.
    const struct {
        QLineEdit* box;
        const char *key, *typed, *shown, *stored;
    } rows[] = {{gui->tbxTarget, "Target", "-16", "-16", "-16"},
                {gui->tbxTruePeak, "TruePeak", "-1.5", "-1.5", "-1.5"},
                {gui->tbxTruePeak, "TruePeak", "loud", "-1.5", "-1.5"},
                {gui->tbxTruePeak, "TruePeak", "", "", ""}};
    for (const auto& row : rows) {
        row.box->setFocus(Qt::MouseFocusReason);
        row.box->setText(row.typed);
        gui->tbxPink->setFocus(Qt::TabFocusReason);
        EXPECT_EQ(row.box->text().toStdString() + "|" + stored(row.key), std::string(row.shown) + "|" + row.stored)
            << row.typed;
    }
    // What a later start loads back.
    Context next{host};
    next.settings.SettingsPath = ctx.settings.SettingsPath;
    LoadSettings(next);
    EXPECT_EQ(next.settings.Loudness, LoudnessMode::R128);
    EXPECT_EQ(next.settings.Target, -16);
    EXPECT_FALSE(next.settings.TruePeak.has_value());
}

}  // namespace
}  // namespace varnook::test
