#pragma once
// main() for the end-to-end tests: a QApplication (offscreen under ctest) around GoogleTest.

#include <QApplication>
#include <gtest/gtest.h>

#define SYLVANE_GTEST_QT_MAIN                                                                      \
    int main(int argc, char** argv) {                                                              \
        QApplication app(argc, argv);                                                              \
        ::testing::InitGoogleTest(&argc, argv);                                                    \
        return RUN_ALL_TESTS();                                                                    \
    }
