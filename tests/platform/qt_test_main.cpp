// GoogleTest entry for the Qt tests: one QApplication for the whole run. The tests run offscreen
// unless QT_QPA_PLATFORM names another platform (test discovery runs without the test's
// environment, and no window should pop up on a desktop).
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
