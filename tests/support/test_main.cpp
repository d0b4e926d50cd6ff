#include <QCoreApplication>

#include <gtest/gtest.h>

// Tests run with a QCoreApplication so that Qt's file and locale services
// behave as in the programs.
int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
