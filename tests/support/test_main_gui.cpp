#include <QApplication>

#include <gtest/gtest.h>

#include "ui/form1.h"
#include "ui/qt_russian.h"

// Window tests run with a QApplication (offscreen in CTest) and, as the
// program does, Qt's own texts in Russian. The banner of their windows asks
// a closed loopback port, unless a test says otherwise.
int main(int argc, char** argv) {
    QApplication app(argc, argv);
    quorvel::installQtRussian(app);
    quorvel::TForm1::setPublisherSitesForTests(
        {QStringLiteral("http://127.0.0.1:1"), QStringLiteral("http://127.0.0.1:1")});
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
