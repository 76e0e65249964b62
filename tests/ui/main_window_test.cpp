// The main window: what it shows and stores when it opens, its layout and placement, and the
// More..., Close and Default buttons.
#include "ui/twips.h"
#include "window_fixture.h"

#include <QFrame>

#include <filesystem>
#include <vector>

namespace varnook::test {
namespace {

using ui::Px;

TEST_F(WindowTest, FirstStartShowsTheDefaultsAndCreatesTheFileWithTheTagKeys)
{
    ASSERT_FALSE(std::filesystem::exists(SettingsFile()));
    Open();

    for (const char* name : {"chkAnalyze", "chkLevel", "chkTrim", "chkEncode"}) {
        EXPECT_TRUE(Find<QCheckBox>(name)->isChecked()) << name;
    }
    EXPECT_EQ(Find<QLineEdit>("tbxNewLev")->text(), "0");
    EXPECT_EQ(Find<QLineEdit>("tbxLead(0)")->text(), "0.2");
    EXPECT_EQ(Find<QLineEdit>("tbxLead(1)")->text(), "0.2");
    const std::vector<QString> levels = {"30", "24", "24", "30"};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(gui->tbxLevel[i]->text(), levels[i]) << i;
    EXPECT_EQ(Find<QLineEdit>("tbxArg")->text(), "-h");
    EXPECT_EQ(Find<QLineEdit>("tbxPink")->text(), "64.82");
    EXPECT_EQ(Find<QLineEdit>("tbxPercent")->text(), "0.95");
    EXPECT_EQ(Find<QLineEdit>("tbxDiff")->text(), "30");
    EXPECT_TRUE(Find<QCheckBox>("chkTrim")->isEnabled());
    EXPECT_EQ(Find<QLabel>("lblRec(1)")->text(), "dB (ref. recommended level)");
    EXPECT_FALSE(Find<QFrame>("Frame1")->isVisible()) << "opens in the compact layout";

    // Every tag box changed from its cleared design state, so each stored itself; the switches
    // stayed as designed and stored nothing.
    for (int i = 0; i < 7; ++i) {
        EXPECT_TRUE(gui->chkID3[i]->isChecked());
        EXPECT_EQ(Stored(std::to_string(i) + "ID3"), "1") << i;
    }
    for (const char* key : {"Analyze", "Level", "Trim", "Encode", "NewLevel", "PinkRef"}) {
        EXPECT_EQ(Stored(key), "<missing>") << key;
    }
}

TEST_F(WindowTest, StoredAnalyzeOffOpensWithTrimClearedDisabledAndStored)
{
    WriteSettings("Analyze=0\nTrim=1\n2ID3=0\n");
    Open();

    EXPECT_FALSE(gui->chkAnalyze->isChecked());
    EXPECT_FALSE(gui->chkTrim->isChecked());
    EXPECT_FALSE(gui->chkTrim->isEnabled());
    EXPECT_EQ(gui->lblRec[1]->text(), "dB (ref. present level)");
    EXPECT_FALSE(ctx.settings.Trim);
    EXPECT_EQ(Stored("Trim"), "0");
    EXPECT_EQ(Stored("Analyze"), "0");
    EXPECT_FALSE(gui->chkID3[2]->isChecked());
    EXPECT_EQ(Stored("2ID3"), "0") << "a cleared tag box is not stored again";
}

TEST_F(WindowTest, SwitchesTheCommandLineTurnedOffAreStoredAndThoseTurnedOnAreNot)
{
    WriteSettings("Encode=0\n");
    Open([](RunSettings& settings) {
        settings.Amplify = false;  // as /lev0 would
        settings.Encode = true;    // as /enc1 would
        settings.NewLevel = -1.5;  // as /nl -1.5 would
    });

    EXPECT_FALSE(gui->chkLevel->isChecked());
    EXPECT_EQ(Stored("Level"), "0");
    EXPECT_TRUE(gui->chkEncode->isChecked());
    EXPECT_EQ(Stored("Encode"), "0") << "a switch turned on stays as the file had it";
    EXPECT_EQ(gui->tbxNewLev->text(), "-1.5");
    EXPECT_EQ(Stored("NewLevel"), "<missing>") << "numbers are shown, not stored, at load";
}

// The controls a user reads: each found by its name, with its caption and tooltip exactly.
struct ControlText {
    const char* name;
    const char* text;
    const char* toolTip;
};

class ControlTexts : public WindowTest, public ::testing::WithParamInterface<ControlText> {};

TEST_P(ControlTexts, CaptionAndTooltip)
{
    Open();
    const ControlText& expected = GetParam();
    QWidget* widget = gui->findChild<QWidget*>(expected.name);
    ASSERT_NE(widget, nullptr) << expected.name;
    QString text;
    if (auto* label = qobject_cast<QLabel*>(widget)) text = label->text();
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) text = button->text();
    EXPECT_EQ(text, expected.text);
    EXPECT_EQ(widget->toolTip(), expected.toolTip);
}

INSTANTIATE_TEST_SUITE_P(
    MainWindow, ControlTexts,
    ::testing::Values(
        ControlText{"chkAnalyze", "Analyze", ""}, ControlText{"chkLevel", "Amplify", ""},
        ControlText{"lblRec(0)", "New level:", ""}, ControlText{"chkTrim", "Trim", ""},
        ControlText{"lblLead(0)", "Lead In", ""}, ControlText{"lblLevel(0)", "Cut In", ""},
        ControlText{"lblLevel(1)", "Fade In", ""}, ControlText{"lblLevel(2)", "Fade Out", ""},
        ControlText{"lblLevel(3)", "Cut Out", ""}, ControlText{"lblLead(1)", "Lead Out", ""},
        ControlText{"chkEncode", "Encode to mp3", ""}, ControlText{"lblArg", "Arguments:", ""},
        ControlText{"cmdGo", "Go!", ""},
        ControlText{"lblList", "Drag and drop files to listbox.", ""},
        ControlText{"cmdIntrpt", "Interrupt", ""}, ControlText{"cmdAbout", "More...", ""},
        ControlText{"lblPercent", "Representative Percentile", ""},
        ControlText{"lblDiff", "Difference To Silence", ""},
        ControlText{"lblPink", "Pink Noise Reference", ""},
        ControlText{"cmdDefault", "Default", ""}, ControlText{"cmdClose", "Close", ""},
        ControlText{"lblID3", "When re-encoding mp3 to mp3, preserve these ID3 tags:", ""},
        ControlText{"chkID3(0)", "Title", ""}, ControlText{"chkID3(1)", "Artist", ""},
        ControlText{"chkID3(2)", "Album", ""}, ControlText{"chkID3(3)", "Year", ""},
        ControlText{"chkID3(4)", "Trackno.", ""}, ControlText{"chkID3(5)", "Genre", ""},
        ControlText{"chkID3(6)", "Comment", ""},
        ControlText{"tbxLead(0)", "", "Lead in digital silence (seconds)"},
        ControlText{"tbxLevel(0)", "", "Cut in level below average (dB)"},
        ControlText{"tbxLevel(1)", "", "Fade in level below average (dB)"},
        ControlText{"tbxLevel(2)", "", "Fade out level below average (dB)"},
        ControlText{"tbxLevel(3)", "", "Cut out level below average (dB)"},
        ControlText{"tbxLead(1)", "", "Lead out digital silence (seconds)"}),
    [](const ::testing::TestParamInfo<ControlText>& info) {
        std::string name;
        for (const char* c = info.param.name; *c != '\0'; ++c) {
            if (std::isalnum(static_cast<unsigned char>(*c))) name += *c;
        }
        return name;
    });

TEST_F(WindowTest, TabOrderFollowsTheDesignRows)
{
    Open();
    gui->Frame1->show();
    const std::vector<QString> expected = {
        "chkAnalyze", "chkLevel",    "tbxNewLev",   "chkTrim",     "tbxLead(0)",
        "tbxLevel(0)", "tbxLevel(1)", "tbxLevel(2)", "tbxLevel(3)", "tbxLead(1)",
        "chkEncode",  "tbxArg",      "cmdGo",       "cmdIntrpt",   "cmdAbout",
        "lbxList",    "tbxPercent",  "tbxDiff",     "tbxPink",     "cmdDefault",
        "cmdClose",   "chkID3(5)",   "chkID3(6)",   "chkID3(0)",   "chkID3(1)",
        "chkID3(2)",  "chkID3(3)",   "chkID3(4)"};
    std::vector<QString> order;
    QWidget* widget = gui->chkAnalyze;
    do {
        if (widget->focusPolicy() & Qt::TabFocus) order.push_back(widget->objectName());
        widget = widget->nextInFocusChain();
    } while (widget != gui->chkAnalyze && order.size() < expected.size() + 5);
    EXPECT_EQ(order, expected);
}

// With a font as narrow as the design's, every control sits exactly at its twip position.
TEST_F(WindowTest, WithANarrowFontTheDesignIsKeptToTheTwip)
{
    const QFont saved = QApplication::font();
    QFont narrow = saved;
    narrow.setPixelSize(9);
    QApplication::setFont(narrow);
    Open();
    QApplication::setFont(saved);

    ASSERT_EQ(gui->LayoutScale(), 1.0);
    EXPECT_EQ(gui->cmdGo->pos(), QPoint(Px(5040), Px(1155)));
    // A box that Qt draws taller than the design keeps its left edge and its row's middle.
    const QRect box = gui->tbxLevel[2]->geometry();
    const QRect design = ui::TwipRect(3360, 720, 615, 285);
    EXPECT_EQ(box.left(), design.left());
    EXPECT_NEAR(box.center().y(), design.center().y(), 1);
    EXPECT_GE(box.width(), design.width());
    EXPECT_EQ(gui->Frame1->geometry(), ui::TwipRect(480, 2280, 5175, 1935));
    EXPECT_EQ(gui->chkID3[4]->pos(), QPoint(Px(1200), Px(720)));
    EXPECT_EQ(gui->lbxList->pos(), QPoint(0, Px(1920)));
}

// Whatever the font, no caption is cut and no control runs into its neighbour; a wider font
// stretches the whole design evenly instead.
TEST_F(WindowTest, EveryCaptionAndValueHasRoomAndNoControlsOverlap)
{
    Open();
    gui->Frame1->show();
    const double scale = gui->LayoutScale();
    EXPECT_EQ(gui->cmdGo->x(), Px(5040, scale));
    EXPECT_EQ(gui->lbxList->y(), Px(1920, scale));

    for (QWidget* parent : {static_cast<QWidget*>(gui.get()), static_cast<QWidget*>(gui->Frame1)}) {
        const auto children = parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
        for (QWidget* a : children) {
            if (a == gui->lbxList || a == gui->Frame1) continue;
            EXPECT_TRUE(parent->rect().contains(a->geometry())) << a->objectName().toStdString();
            if (auto* label = qobject_cast<QLabel*>(a); label && !label->wordWrap()) {
                EXPECT_GE(label->width(), label->sizeHint().width())
                    << label->objectName().toStdString();
            }
            if (auto* box = qobject_cast<QAbstractButton*>(a)) {
                EXPECT_GE(box->width(), QFontMetrics(box->font()).horizontalAdvance(box->text()))
                    << box->objectName().toStdString();
            }
            if (auto* box = qobject_cast<QLineEdit*>(a)) {
                EXPECT_GE(box->width(), QFontMetrics(box->font()).horizontalAdvance("-64.82"))
                    << box->objectName().toStdString();
            }
            for (QWidget* b : children) {
                if (b == a || b == gui->lbxList || b == gui->Frame1) continue;
                EXPECT_FALSE(a->geometry().intersects(b->geometry()))
                    << a->objectName().toStdString() << " overlaps "
                    << b->objectName().toStdString();
            }
        }
    }
    const QLabel* id3 = gui->lblID3;
    EXPECT_GE(id3->height(), id3->heightForWidth(id3->width()))
        << "the wrapped label shows every line";
}

TEST_F(WindowTest, OpensBesideTheProgressWindowSharingItsHeight)
{
    Open();
    const ui::frmProgress& progress = host.Progress();
    const QRect left = progress.frameGeometry();
    const QRect right = gui->frameGeometry();
    EXPECT_EQ(right.left(), left.right() + 1);
    EXPECT_EQ(right.top(), left.top());
    EXPECT_EQ(right.height(), left.height());
    EXPECT_NEAR(left.width() + right.width(), Px(9600, gui->LayoutScale()), 1);
    EXPECT_GE(gui->height(), gui->Frame1->geometry().bottom()) << "the extended layout fits";
}

TEST_F(WindowTest, ListFillsTheWindowBelowTheControlsAndTheWindowKeepsAMinimumHeight)
{
    Open();
    const int listTop = gui->lbxList->y();
    const int minimum = listTop + Px(1000, gui->LayoutScale());

    gui->resize(gui->width(), listTop + 10);
    EXPECT_EQ(gui->height(), minimum);
    EXPECT_EQ(gui->lbxList->height(), minimum - listTop);

    gui->resize(900, 700);
    EXPECT_EQ(gui->lbxList->geometry(), QRect(0, listTop, 900, 700 - listTop));
}

TEST_F(WindowTest, MoreShowsThePanelAndCloseHidesIt)
{
    Open();
    QTest::mouseClick(gui->cmdAbout, Qt::LeftButton);
    EXPECT_TRUE(gui->Frame1->isVisible());
    QTest::mouseClick(gui->cmdClose, Qt::LeftButton);
    EXPECT_FALSE(gui->Frame1->isVisible());
}

TEST_F(WindowTest, DefaultResetsAndStoresOnlyTheAnalysisParameters)
{
    WriteSettings("PinkRef=80\nRmsPercent=0.5\nRmsDiff=10\nNewLevel=-2\n0Lead=1\n");
    Open();
    ASSERT_EQ(gui->tbxPink->text(), "80");
    gui->tbxNewLev->setText("7");  // typed but never left: must not be taken

    // The panel is hidden, as after a start; the button works all the same.
    QMetaObject::invokeMethod(gui->cmdDefault, "click");

    EXPECT_EQ(gui->tbxPink->text(), "64.82");
    EXPECT_EQ(gui->tbxPercent->text(), "0.95");
    EXPECT_EQ(gui->tbxDiff->text(), "30");
    EXPECT_EQ(ctx.settings.PinkRef, 64.82);
    EXPECT_EQ(ctx.settings.RmsPercent, 0.95);
    EXPECT_EQ(ctx.settings.RmsDiff, 30);
    EXPECT_EQ(Stored("PinkRef"), "64.82");
    EXPECT_EQ(Stored("RmsPercent"), "0.95");
    EXPECT_EQ(Stored("RmsDiff"), "30");
    EXPECT_EQ(ctx.settings.NewLevel, -2);
    EXPECT_EQ(ctx.settings.Lead[0], 1);
    EXPECT_EQ(Stored("NewLevel"), "-2");
}

}  // namespace
}  // namespace varnook::test
