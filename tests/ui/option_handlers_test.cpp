// The option handlers: check boxes store at once, text boxes when the focus leaves them, numbers
// only in the locale's own notation, and Trim only while Analyze is on.
#include "window_fixture.h"

#include "control/numbers.h"
#include "support/param_name.h"
#include "support/scoped_env.h"

namespace varnook::test {
namespace {

TEST_F(WindowTest, AnalyzeOffClearsAndLocksTrimStoringTrimFirst)
{
    Open();
    QTest::mouseClick(gui->chkAnalyze, Qt::LeftButton);
    EXPECT_FALSE(gui->chkTrim->isChecked());
    EXPECT_FALSE(gui->chkTrim->isEnabled());
    EXPECT_FALSE(ctx.settings.Trim);
    EXPECT_EQ(gui->lblRec[1]->text(), "dB (ref. present level)");
    // Neither key was in the file, so each was appended as it was stored.
    const std::string file = ReadText(SettingsFile());
    ASSERT_NE(file.find("Analyze=0"), std::string::npos);
    EXPECT_LT(file.find("Trim=0"), file.find("Analyze=0"));

    gui->chkTrim->setChecked(true);  // as a program, not the user, might try
    EXPECT_FALSE(gui->chkTrim->isChecked());
    EXPECT_EQ(Stored("Trim"), "0");

    QTest::mouseClick(gui->chkAnalyze, Qt::LeftButton);
    EXPECT_EQ(Stored("Analyze"), "1");
    EXPECT_TRUE(gui->chkTrim->isEnabled());
    EXPECT_FALSE(gui->chkTrim->isChecked()) << "Trim comes back available, not ticked";
    EXPECT_EQ(gui->lblRec[1]->text(), "dB (ref. recommended level)");
}

// A text typed into a box and left: what the box then shows and what is stored.
struct TypedNumber {
    const char* name;
    const char* box;
    const char* key;
    const char* typed;
    const char* locale;
    const char* shown;
    const char* stored;
};

class NumberBoxes : public WindowTest, public ::testing::WithParamInterface<TypedNumber> {};

TEST_P(NumberBoxes, TakeALocaleNumberOrPutThePreviousValueBack)
{
    const TypedNumber& row = GetParam();
    const ScopedLocale locale(row.locale);
    if (!locale.Active()) GTEST_SKIP() << "no " << row.locale;
    ctx.decimalSeparator = FindDecimalSeparator();
    Open();
    gui->Frame1->show();
    auto* box = Find<QLineEdit>(row.box);
    TypeAndLeave(box, row.typed, gui->tbxArg);
    EXPECT_EQ(box->text().toStdString(), row.shown);
    EXPECT_EQ(Stored(row.key), row.stored);
}

INSTANTIATE_TEST_SUITE_P(
    TextBoxes, NumberBoxes,
    ::testing::Values(
        TypedNumber{"LettersBringTheValueBack", "tbxLevel(2)", "2Level", "abc", "C", "24", "24"},
        TypedNumber{"LeadingZeroStaysOnScreen", "tbxLevel(0)", "0Level", "030", "C", "030", "30"},
        TypedNumber{"NegativeLead", "tbxLead(0)", "0Lead", "-3", "C", "-3", "-3"},
        TypedNumber{"PercentileIsNotLimited", "tbxPercent", "RmsPercent", "5", "C", "5", "5"},
        TypedNumber{"CommaInACommaLocale", "tbxPink", "PinkRef", "70,5", kCommaLocale, "70,5",
                    "70,5"},
        TypedNumber{"PointInACommaLocale", "tbxLead(1)", "1Lead", "1.5", kCommaLocale, "0,2",
                    "0,2"},
        TypedNumber{"CommaInAPointLocale", "tbxNewLev", "NewLevel", "1,5", "C", "0", "0"}),
    RowName());

TEST_F(WindowTest, AValueTypedJustBeforeGoIsTakenBeforeTheRunStarts)
{
    Open();
    ActivateWindow();
    gui->tbxNewLev->setFocus(Qt::MouseFocusReason);
    gui->tbxNewLev->selectAll();
    QTest::keyClicks(gui->tbxNewLev, "-4");
    double seenAtGo = 0;
    QObject::connect(gui->cmdGo, &QPushButton::clicked, gui.get(),
                     [this, &seenAtGo] { seenAtGo = ctx.settings.NewLevel; });
    QTest::mouseClick(gui->cmdGo, Qt::LeftButton);
    EXPECT_EQ(seenAtGo, -4);
    EXPECT_EQ(Stored("NewLevel"), "-4");
}

TEST_F(WindowTest, ArgumentsAreStoredAsTypedEvenEmpty)
{
    Open();
    TypeAndLeave(gui->tbxArg, "", gui->tbxNewLev);
    EXPECT_EQ(Stored("Arguments"), "");
    EXPECT_EQ(ctx.settings.Arguments, "");

    // Switching to another window is no leaving: the focus comes back to the box.
    gui->tbxArg->setFocus(Qt::MouseFocusReason);
    QTest::keyClicks(gui->tbxArg, "-b 192");
    QFocusEvent away(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
    QApplication::sendEvent(gui->tbxArg, &away);
    EXPECT_EQ(Stored("Arguments"), "");
}

}  // namespace
}  // namespace varnook::test
