#include "ui/column_widths.h"

#include <QFile>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include "support/printers.h"
#include "support/temp_dir.h"

namespace quorvel {
namespace {

using namespace Qt::StringLiterals;

TEST(ColumnWidths, DefaultsForTheRestoredList) {
    EXPECT_EQ(defaultColumnWidths(979), (ColumnWidths{245, 245, 109, 109, 163, 163, 50, 50}));
    // Ties go to the even neighbour: 18/4 = 4.5 -> 4 (then raised to 50);
    // 1002/4 = 250.5 -> 250, 1006/4 = 251.5 -> 252.
    EXPECT_EQ(defaultColumnWidths(1002)[0], 250);
    EXPECT_EQ(defaultColumnWidths(1006)[0], 252);
    EXPECT_EQ(defaultColumnWidths(18)[0], 50);
}

TEST(ColumnWidths, WidthFileUpToTheFirstBadLine) {
    struct Case {
        const char* what;
        QByteArray file;
        ColumnWidths expected;
    };
    const ColumnWidths d = defaultColumnWidths(979);
    const Case cases[] = {
        {"no file", {}, d},
        {"five lines",
         "100\r\n101\r\n102\r\n103\r\n104\r\n",
         {100, 101, 102, 103, 104, 163, 50, 50}},
        {"a bad third line",
         "100\r\n101\r\nwide\r\n103\r\n",
         {100, 101, 109, 109, 163, 163, 50, 50}},
        {"clamped", "10\n20000\n", {50, 10000, 109, 109, 163, 163, 50, 50}},
        {"signs, blanks and hex",
         "  +60\n$64\n0x65\nx66\n-5\n",
         {60, 100, 101, 102, 50, 163, 50, 50}},
        {"trailing blank is no number", "70 \n", d},
        {"lines after the eighth are ignored",
         "51\n52\n53\n54\n55\n56\n57\n58\nbad\n",
         {51, 52, 53, 54, 55, 56, 57, 58}},
    };
    for (const Case& c : cases) {
        test::TempDir dir;
        const QString path = dir.path(u"widths.qvf"_s);
        if (!c.file.isNull()) {
            dir.write(u"widths.qvf"_s, c.file);
        }
        ColumnWidths widths = d;
        readColumnWidths(path, widths);
        EXPECT_EQ(widths, c.expected) << c.what;
    }
}

TEST(ColumnWidths, WrittenAndReadBack) {
    test::TempDir dir;
    const ColumnWidths widths{300, 200, 80, 70, 60, 55, 51, 4000};
    ASSERT_TRUE(writeColumnWidths(dir.path(u"widths.qvf"_s), widths));
    EXPECT_EQ(dir.read(u"widths.qvf"_s), "300\r\n200\r\n80\r\n70\r\n60\r\n55\r\n51\r\n4000\r\n");
    ColumnWidths back = defaultColumnWidths(979);
    readColumnWidths(dir.path(u"widths.qvf"_s), back);
    EXPECT_EQ(back, widths);
}

// A FIFO under the name is neither waited for nor replaced.
TEST(ColumnWidths, AFifoIsNoWidthFile) {
    test::TempDir dir;
    const QString path = dir.path(u"widths.qvf"_s);
    ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    ColumnWidths widths = defaultColumnWidths(979);
    readColumnWidths(path, widths);  // would wait for a writer for ever
    EXPECT_EQ(widths, defaultColumnWidths(979));
    EXPECT_FALSE(writeColumnWidths(path, widths));
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

}  // namespace
}  // namespace quorvel
