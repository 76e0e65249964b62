// The option handlers: check boxes store at once, text boxes when the focus leaves them, numbers
// only in the locale's own notation, and Trim only while Analyze is on.
#include "window_fixture.h"

#include "control/numbers.h"
#include "support/param_name.h"
#include "support/scoped_env.h"

namespace varnook::test {
namespace {

TEST_F(WindowTest, ClearingAnalyzeClearsAndLocksTrimAndStoresTrimFirst)
{
    Open();
    ASSERT_TRUE(gui->chkTrim->isChecked());
    QTest::mouseClick(gui->chkAnalyze, Qt::LeftButton);

    EXPECT_FALSE(ctx.settings.Analyze);
    EXPECT_FALSE(ctx.settings.Trim);
    EXPECT_FALSE(gui->chkTrim->isChecked());
    EXPECT_FALSE(gui->chkTrim->isEnabled());
    EXPECT_EQ(gui->lblRec[1]->text(), "dB (ref. present level)");
    // Neither key was in the file, so each was appended as it was stored.
    const std::string file = ReadText(SettingsFile());
    ASSERT_NE(file.find("Trim=0"), std::string::npos);
    ASSERT_NE(file.find("Analyze=0"), std::string::npos);
    EXPECT_LT(file.find("Trim=0"), file.find("Analyze=0"));

    QTest::mouseClick(gui->chkAnalyze, Qt::LeftButton);
    EXPECT_TRUE(ctx.settings.Analyze);
    EXPECT_EQ(Stored("Analyze"), "1");
    EXPECT_TRUE(gui->chkTrim->isEnabled());
    EXPECT_FALSE(gui->chkTrim->isChecked()) << "Trim comes back available, not ticked";
    EXPECT_EQ(gui->lblRec[1]->text(), "dB (ref. recommended level)");
}

TEST_F(WindowTest, TrimCannotBeTickedWhileAnalyzeIsOff)
{
    WriteSettings("Analyze=0\n");
    Open();
    gui->chkTrim->setChecked(true);  // as a program, not the user, might try
    EXPECT_FALSE(gui->chkTrim->isChecked());
    EXPECT_FALSE(ctx.settings.Trim);
    EXPECT_EQ(Stored("Trim"), "0");
}

TEST_F(WindowTest, PlainCheckBoxesStoreTheirStateAtOnce)
{
    Open();
    QTest::mouseClick(gui->chkLevel, Qt::LeftButton);
    QTest::mouseClick(gui->chkEncode, Qt::LeftButton);
    gui->Frame1->show();
    QTest::mouseClick(gui->chkID3[6], Qt::LeftButton);
    EXPECT_FALSE(ctx.settings.Amplify);
    EXPECT_FALSE(ctx.settings.Encode);
    EXPECT_FALSE(ctx.settings.KeepTag[6]);
    EXPECT_TRUE(ctx.settings.KeepTag[5]);
    EXPECT_EQ(Stored("Level"), "0");
    EXPECT_EQ(Stored("Encode"), "0");
    EXPECT_EQ(Stored("6ID3"), "0");
}

// A number typed into a box and left: what the box shows, the field's value and what is stored.
struct TypedNumber {
    const char* name;
    const char* box;
    const char* typed;
    bool commaLocale;
    const char* shown;
    double field;
    const char* stored;
};

class NumberBoxes : public WindowTest, public ::testing::WithParamInterface<TypedNumber> {};

double FieldOf(const RunSettings& settings, const std::string& box)
{
    if (box == "tbxNewLev") return settings.NewLevel;
    if (box == "tbxPink") return settings.PinkRef;
    if (box == "tbxPercent") return settings.RmsPercent;
    if (box == "tbxDiff") return settings.RmsDiff;
    const int index = box[box.size() - 2] - '0';
    return box.rfind("tbxLead", 0) == 0 ? settings.Lead[index] : settings.TrimLevel[index];
}

std::string KeyOf(const std::string& box)
{
    if (box == "tbxNewLev") return "NewLevel";
    if (box == "tbxPink") return "PinkRef";
    if (box == "tbxPercent") return "RmsPercent";
    if (box == "tbxDiff") return "RmsDiff";
    const std::string index(1, box[box.size() - 2]);
    return index + (box.rfind("tbxLead", 0) == 0 ? "Lead" : "Level");
}

TEST_P(NumberBoxes, TakeALocaleNumberOrPutThePreviousValueBack)
{
    const TypedNumber& row = GetParam();
    const ScopedLocale locale(row.commaLocale ? kCommaLocale : "C");
    if (!locale.Active()) GTEST_SKIP() << "no " << kCommaLocale;
    ctx.decimalSeparator = FindDecimalSeparator();
    Open();
    gui->Frame1->show();
    auto* box = Find<QLineEdit>(row.box);
    TypeAndLeave(box, row.typed, gui->tbxArg);

    EXPECT_EQ(box->text().toStdString(), row.shown);
    EXPECT_EQ(FieldOf(ctx.settings, row.box), row.field);
    EXPECT_EQ(Stored(KeyOf(row.box)), row.stored);
}

INSTANTIATE_TEST_SUITE_P(
    TextBoxes, NumberBoxes,
    ::testing::Values(
        TypedNumber{"LettersBringTheFadeOutLevelBack", "tbxLevel(2)", "abc", false, "24", 24, "24"},
        TypedNumber{"LeadingZeroIsKeptOnScreen", "tbxLevel(0)", "030", false, "030", 30, "30"},
        TypedNumber{"NegativeLeadIsAccepted", "tbxLead(0)", "-3", false, "-3", -3, "-3"},
        TypedNumber{"PercentileAboveOneIsNotLimited", "tbxPercent", "5", false, "5", 5, "5"},
        TypedNumber{"EmptyBoxBringsTheValueBack", "tbxDiff", "", false, "30", 30, "30"},
        TypedNumber{"PointDecimal", "tbxNewLev", "-1.5", false, "-1.5", -1.5, "-1.5"},
        TypedNumber{"CommaInACommaLocale", "tbxPink", "70,5", true, "70,5", 70.5, "70,5"},
        TypedNumber{"PointInACommaLocaleIsNoNumber", "tbxLead(1)", "1.5", true, "0,2", 0.2,
                    "0,2"},
        TypedNumber{"CommaInAPointLocaleIsNoNumber", "tbxNewLev", "1,5", false, "0", 0, "0"}),
    RowName());

TEST_F(WindowTest, AValueTypedJustBeforeGoIsTakenBeforeTheRunStarts)
{
    Open();
    ActivateWindow();
    gui->tbxNewLev->setFocus(Qt::MouseFocusReason);
    gui->tbxNewLev->selectAll();
    QTest::keyClicks(gui->tbxNewLev, "-4");
    bool seenAtGo = false;
    QObject::connect(gui->cmdGo, &QPushButton::clicked, gui.get(),
                     [this, &seenAtGo] { seenAtGo = ctx.settings.NewLevel == -4; });
    QTest::mouseClick(gui->cmdGo, Qt::LeftButton);
    EXPECT_TRUE(seenAtGo);
    EXPECT_EQ(Stored("NewLevel"), "-4");
}

TEST_F(WindowTest, SwitchingToAnotherWindowIsNoLeaving)
{
    Open();
    ActivateWindow();
    gui->tbxNewLev->setFocus(Qt::MouseFocusReason);
    QTest::keyClicks(gui->tbxNewLev, "9");
    QFocusEvent away(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
    QApplication::sendEvent(gui->tbxNewLev, &away);
    EXPECT_EQ(Stored("NewLevel"), "<missing>");
}

TEST_F(WindowTest, EmptyArgumentsAreStoredEmpty)
{
    Open();
    TypeAndLeave(gui->tbxArg, "", gui->tbxNewLev);
    EXPECT_EQ(ctx.settings.Arguments, "");
    EXPECT_EQ(Stored("Arguments"), "");

    TypeAndLeave(gui->tbxArg, "-b 192 --preset standard", gui->tbxNewLev);
    EXPECT_EQ(Stored("Arguments"), "-b 192 --preset standard");
}

}  // namespace
}  // namespace varnook::test
