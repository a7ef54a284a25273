// The main of the window tests: a QApplication with the program's dark Fusion palette.
#include "DarkPalette.h"

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    applyDarkPalette(app);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
