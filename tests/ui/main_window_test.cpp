// The main window: what it shows and stores when it opens, its layout and placement, Default.
#include "ui/twips.h"
#include "window_fixture.h"

#include <filesystem>

namespace varnook::test {
namespace {

using ui::Px;

TEST_F(WindowTest, FirstStartShowsTheDefaultsAndCreatesTheFileWithTheTagKeys)
{
    Open();
    for (QCheckBox* box : {gui->chkAnalyze, gui->chkLevel, gui->chkTrim, gui->chkEncode}) {
        EXPECT_TRUE(box->isChecked()) << box->objectName().toStdString();
    }
    QStringList texts;
    for (const char* name : {"tbxNewLev", "tbxLead(0)", "tbxLevel(0)", "tbxLevel(1)", "tbxLevel(2)",
                             "tbxLevel(3)", "tbxLead(1)", "tbxArg", "tbxPink", "tbxPercent",
                             "tbxDiff"}) {
        texts << Find<QLineEdit>(name)->text();
    }
    EXPECT_EQ(texts.join(' '), "0 0.2 30 24 24 30 0.2 -h 64.82 0.95 30");
    EXPECT_FALSE(gui->Frame1->isVisible()) << "opens in the compact layout";

    // The tag boxes changed from their cleared design state, so each stored itself; the
    // switches stayed as designed and stored nothing.
    for (int i = 0; i < 7; ++i) EXPECT_EQ(Stored(std::to_string(i) + "ID3"), "1") << i;
    for (const char* key : {"Analyze", "Level", "Trim", "Encode", "NewLevel"}) {
        EXPECT_EQ(Stored(key), "<missing>") << key;
    }
}

TEST_F(WindowTest, LoadStoresTheSwitchesThatAreOffAndAnalyzeOffTakesTrimWithIt)
{
    WriteSettings("Analyze=0\nTrim=1\nEncode=0\n");
    Open([](RunSettings& settings) {
        settings.Amplify = false;  // as /lev0 would
        settings.Encode = true;    // as /enc1 would
    });
    EXPECT_FALSE(gui->chkTrim->isChecked());
    EXPECT_FALSE(gui->chkTrim->isEnabled());
    EXPECT_EQ(gui->lblRec[1]->text(), "dB (ref. present level)");
    EXPECT_EQ(Stored("Trim"), "0");
    EXPECT_EQ(Stored("Level"), "0");
    EXPECT_EQ(Stored("Encode"), "0") << "a switch turned on is not stored";
    EXPECT_TRUE(gui->chkEncode->isChecked());
}

// With a font as narrow as the design's, every control sits at its twip position.
TEST_F(WindowTest, WithANarrowFontTheDesignIsKeptToTheTwip)
{
    const QFont saved = QApplication::font();
    QFont narrow = saved;
    narrow.setPixelSize(9);
    QApplication::setFont(narrow);
    Open();
    QApplication::setFont(saved);

    ASSERT_EQ(gui->LayoutScale(), 1.0);
    EXPECT_EQ(gui->cmdGo->x(), Px(5040));
    EXPECT_EQ(gui->chkID3[4]->x(), Px(1200));
    EXPECT_EQ(gui->Frame1->geometry(), ui::TwipRect(480, 2280, 5175, 1935));
    // A box Qt draws taller than the design keeps its left edge and its row's middle.
    const QRect box = gui->tbxLevel[2]->geometry();
    const QRect design = ui::TwipRect(3360, 720, 615, 285);
    EXPECT_EQ(box.left(), design.left());
    EXPECT_NEAR(box.center().y(), design.center().y(), 1);
}

// Whatever the font, no caption or value is cut and no control runs into its neighbour.
TEST_F(WindowTest, EveryCaptionAndValueHasRoomAndNoControlsOverlap)
{
    Open();
    for (QWidget* parent : {static_cast<QWidget*>(gui.get()), static_cast<QWidget*>(gui->Frame1)}) {
        const auto children = parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
        for (QWidget* a : children) {
            if (a == gui->lbxList || a == gui->Frame1) continue;
            const std::string name = a->objectName().toStdString();
            EXPECT_TRUE(parent->rect().contains(a->geometry())) << name;
            if (auto* label = qobject_cast<QLabel*>(a)) {
                EXPECT_GE(label->height(), label->heightForWidth(label->width())) << name;
                if (!label->wordWrap()) {
                    EXPECT_GE(label->width(), label->sizeHint().width()) << name;
                }
            }
            if (auto* button = qobject_cast<QAbstractButton*>(a)) {
                EXPECT_GT(button->width(), button->fontMetrics().horizontalAdvance(button->text()))
                    << name;
            }
            if (qobject_cast<QLineEdit*>(a) != nullptr) {
                EXPECT_GT(a->width(), a->fontMetrics().horizontalAdvance("-64.82")) << name;
            }
            for (QWidget* b : children) {
                if (b != a && b != gui->lbxList && b != gui->Frame1) {
                    EXPECT_FALSE(a->geometry().intersects(b->geometry()))
                        << name << " overlaps " << b->objectName().toStdString();
                }
            }
        }
    }
}

TEST_F(WindowTest, SitsBesideTheProgressWindowAndKeepsItsListBelowTheControls)
{
    Open();
    const QRect left = host.Progress().frameGeometry();
    const QRect right = gui->frameGeometry();
    EXPECT_EQ(right.topLeft(), left.topRight() + QPoint(1, 0));
    EXPECT_EQ(right.height(), left.height());
    EXPECT_NEAR(left.width() + right.width(), Px(9600, gui->LayoutScale()), 1);
    EXPECT_GE(gui->height(), gui->Frame1->geometry().bottom()) << "the extended layout fits";

    const int listTop = gui->lbxList->y();
    gui->resize(gui->width(), listTop + 10);
    EXPECT_EQ(gui->height(), listTop + Px(1000, gui->LayoutScale())) << "minimum height";
    gui->resize(900, 700);
    EXPECT_EQ(gui->lbxList->geometry(), QRect(0, listTop, 900, 700 - listTop));
}

TEST_F(WindowTest, DefaultResetsAndStoresOnlyTheAnalysisParameters)
{
    WriteSettings("PinkRef=80\nRmsPercent=0.5\nRmsDiff=10\nNewLevel=-2\n");
    Open();
    gui->tbxNewLev->setText("7");  // typed but never left: must not be taken
    gui->cmdDefault->click();      // with the panel hidden, as after a start

    EXPECT_EQ(gui->tbxPink->text() + " " + gui->tbxPercent->text() + " " + gui->tbxDiff->text(),
              "64.82 0.95 30");
    EXPECT_EQ(Stored("PinkRef") + " " + Stored("RmsPercent") + " " + Stored("RmsDiff"),
              "64.82 0.95 30");
    EXPECT_EQ(ctx.settings.RmsPercent, 0.95);
    EXPECT_EQ(ctx.settings.NewLevel, -2);
    EXPECT_EQ(Stored("NewLevel"), "-2");
}

}  // namespace
}  // namespace varnook::test
