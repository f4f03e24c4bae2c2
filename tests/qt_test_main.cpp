// SPDX-License-Identifier: MIT
// The Qt tests need one QApplication for the whole run.

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    // No display needed: Qt's offscreen platform unless the caller chose one.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
