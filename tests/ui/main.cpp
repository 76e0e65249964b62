// The window tests need one QApplication for the whole run, made before any widget; GoogleTest's
// own main cannot make it, so this one does.
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv)
{
    // Run without a display unless the caller asked for a platform (xvfb-run, for a look).
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
