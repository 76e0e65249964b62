// What the window tests share: a fresh settings file in a temp folder, the Qt host with its
// progress window, the main window built over LoadSettings as start-up leaves it, and ways to
// act on controls as a user does (focus moves, clicks, drops).
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include <functional>
#include <memory>
#include <ostream>
#include <string>

#include "control/context.h"
#include "control/run_settings.h"
#include "settings/ini_file.h"
#include "support/temp_dir.h"
#include "ui/file_list_box.h"
#include "ui/frm_gui.h"
#include "ui/frm_progress.h"
#include "ui/qt_host.h"
#include "ui/windows.h"

// Failures show texts, not bytes.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace varnook::test {

// A Qt host that lets a test step in whenever a line is logged, as a user watching the log
// would: to press Interrupt during a file, or to try the controls while a run goes on.
class WatchingHost : public ui::QtHost {
public:
    void LogLine(const std::string& line) override
    {
        ui::QtHost::LogLine(line);
        if (onLine) onLine(line);
    }

    std::function<void(const std::string&)> onLine;
};

class WindowTest : public ::testing::Test {
protected:
    WindowTest()
    {
        ctx.settings.SettingsPath = SettingsFile();
        ctx.settings.SettingsSection = kSettingsSection;
    }

    ~WindowTest() override
    {
        gui.reset();
        // Leave no window of this test active or holding the focus for the next one.
        QApplication::processEvents();
    }

    std::string SettingsFile() const { return dir.File("varnook.ini"); }

    void WriteSettings(const std::string& lines)
    {
        WriteText(SettingsFile(), "[Values]\n" + lines);
    }

    // Loads the settings as start-up does, then lets `adjust` stand in for the command line.
    ui::frmGUI& Open(const std::function<void(RunSettings&)>& adjust = {})
    {
        LoadSettings(ctx);
        if (adjust) adjust(ctx.settings);
        gui = ui::OpenWindows(host, ctx);
        return *gui;
    }

    // The value stored under `key`, or "<missing>".
    std::string Stored(const std::string& key) const
    {
        return ReadIni(SettingsFile(), kSettingsSection, key, "<missing>");
    }

    template <class T>
    T* Find(const char* name) const
    {
        T* widget = gui->findChild<T*>(name);
        EXPECT_NE(widget, nullptr) << "no control named " << name;
        return widget;
    }

    // Types into a text box and moves the focus on to `next`, as the Tab key or a click would.
    void TypeAndLeave(QLineEdit* box, const QString& text, QWidget* next)
    {
        ActivateWindow();
        box->setFocus(Qt::MouseFocusReason);
        box->selectAll();
        QTest::keyClick(box, Qt::Key_Backspace);
        QTest::keyClicks(box, text);
        next->setFocus(Qt::TabFocusReason);
    }

    void ActivateWindow()
    {
        gui->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(gui.get()));
    }

    TempDir dir;
    WatchingHost host;
    Context ctx{host};
    std::unique_ptr<ui::frmGUI> gui;
};

}  // namespace varnook::test
