#include <gtest/gtest.h>

#include <QApplication>

#include "ui/TharvelApplication.h"

// The widget tests need one application object; without a display they use the
// offscreen platform.
int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    tharvel::TharvelApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
