#include <QApplication>

#include <gtest/gtest.h>

#include "ui/form1.h"

// Window tests run with a QApplication (offscreen in CTest). The banner of
// their windows asks a closed loopback port, unless a test says otherwise.
int main(int argc, char** argv) {
    QApplication app(argc, argv);
    quorvel::TForm1::setPublisherSitesForTests(
        {QStringLiteral("http://127.0.0.1:1"), QStringLiteral("http://127.0.0.1:1")});
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
