#include <QImage>
#include <QPainter>

#include "records/record_line.h"

#include <gtest/gtest.h>

#include "support/printers.h"
#include "support/temp_dir.h"
#include "ui/form1.h"
#include "ui/ui_helpers.h"

namespace quorvel {
namespace {

using namespace Qt::StringLiterals;

// Draws rows through the window's own delegate and model (which holds the
// markers) into an image, so that every pixel can be looked at.
class ListDrawing : public ::testing::Test {
  protected:
    ListDrawing() : form(dir.path(QString())), ui(&form) {}

    QImage drawRow(int row, const QString& line, bool selected = false) {
        QStringList lines(row + 1, QString());
        lines[row] = line;
        RecordListModel& model = *form.records();
        model.setRecords(lines);
        QStyleOptionViewItem option;
        option.initFrom(ui.ListBox1);
        option.font = ui.ListBox1->font();
        option.rect = QRect(0, 0, kWidth, kRowHeight);
        option.state = QStyle::State_Enabled;
        if (selected) {
            option.state |= QStyle::State_Selected;
        }
        option.widget = ui.ListBox1;
        QImage image(kWidth, kRowHeight, QImage::Format_RGB32);
        image.fill(Qt::magenta);  // anything left unpainted shows
        QPainter painter(&image);
        ui.ListBox1->itemDelegate()->paint(&painter, option, model.index(row));
        painter.end();
        return image;
    }

    void setResult(int row, CheckStatus status, int32_t count, int32_t over) {
        auto& results = const_cast<CheckResults&>(form.checkRun().results());
        results.status[row] = int32_t(status);
        results.count[row] = count;
        results.overLimit[row] = over;
    }

    // Whether any pixel in columns [x0, x1) differs from `fill`.
    static bool inked(const QImage& image, int x0, int x1, const QColor& fill) {
        for (int x = x0; x < x1; ++x) {
            for (int y = 0; y < image.height(); ++y) {
                if (image.pixelColor(x, y) != fill) {
                    return true;
                }
            }
        }
        return false;
    }

    static constexpr int kWidth = 1100;
    test::QuitCounter quit;
    test::TempDir dir;
    TForm1 form;
    test::Controls ui;
    QColor base = ui.ListBox1->palette().color(QPalette::Base);
    QColor highlight = ui.ListBox1->palette().color(QPalette::Highlight);
};

TEST_F(ListDrawing, FillByStatusOnlyWhileMarkersAreShown) {
    const QString line = test::recordLine(u"http://p.example.com/"_s);
    const std::pair<CheckStatus, QColor> statuses[] = {
        {CheckStatus::Found, QColor(192, 220, 192)},
        {CheckStatus::Hidden, QColor(255, 0, 0)},
        {CheckStatus::Missing, QColor(160, 160, 164)},
        {CheckStatus::FetchFailed, QColor(128, 0, 0)},
        {CheckStatus::None, base},
        {CheckStatus(7), base}};
    for (const auto& [status, colour] : statuses) {
        setResult(0, status, 3, 0);
        form.MarkersShown = true;
        EXPECT_EQ(drawRow(0, line).pixelColor(kWidth - 2, 8), colour) << int(status);
        form.MarkersShown = false;
        EXPECT_EQ(drawRow(0, line).pixelColor(kWidth - 2, 8), base) << int(status);
    }
    // A selected marked row shows its marker, not the highlight.
    form.MarkersShown = true;
    setResult(0, CheckStatus::Found, 0, 0);
    EXPECT_EQ(drawRow(0, line, true).pixelColor(kWidth - 2, 8), QColor(192, 220, 192));
    setResult(0, CheckStatus::None, 0, 0);
    EXPECT_EQ(drawRow(0, line, true).pixelColor(kWidth - 2, 8), highlight);
}

TEST_F(ListDrawing, CountInFrontAndBoldWhenOverTheLimit) {
    const QString line = test::recordLine(u"x"_s);
    form.MarkersShown = false;
    const QImage plain = drawRow(0, line);
    EXPECT_FALSE(inked(plain, 0, 5, base)) << "text starts 5 pixels in";
    EXPECT_TRUE(inked(plain, 5, 12, base));

    form.MarkersShown = true;
    setResult(0, CheckStatus::None, 0, 0);
    const QImage counted = drawRow(0, line);
    EXPECT_TRUE(inked(counted, 0, 10, base)) << "the count \"0\" is drawn even without a status";
    EXPECT_FALSE(inked(counted, 12, 32, base));
    EXPECT_TRUE(inked(counted, 32, 40, base)) << "text at L + 32 with markers";

    setResult(0, CheckStatus::Found, 12, 0);
    const QImage regular = drawRow(0, line);
    setResult(0, CheckStatus::Found, 12, 1);
    const QImage bold = drawRow(0, line);
    EXPECT_NE(regular, bold);
    // Rows past the tables: no marker, count or bold.
    const QImage beyond = drawRow(kResultTableSize, line);
    EXPECT_FALSE(inked(beyond, 0, 30, base));
}

TEST_F(ListDrawing, ColumnsFollowTheHeaderAndCutTexts) {
    const QString longText(300, u'W');
    // Column 2 (your link) empty, so whatever shows there is column 1's overflow.
    const QString line =
        BuildRecordLine(longText, u""_s, u""_s, QDate(2010, 10, 21), u""_s, u""_s, u""_s, longText);
    const int widths[] = {200, 150, 80, 70, 60, 55, 51, 9000};
    for (int i = 0; i < kSectionCount; ++i) {
        ui.HeaderControl1->resizeSection(i, widths[i]);
    }
    for (bool markers : {false, true}) {
        form.MarkersShown = markers;
        setResult(0, CheckStatus::None, 0, 0);
        const QImage image = drawRow(0, line);
        EXPECT_TRUE(inked(image, 150, 200, base));
        EXPECT_FALSE(inked(image, 200, 350, base))
            << "column 1 is cut at L + W1, markers " << markers;
        EXPECT_TRUE(inked(image, 350, 420, base)) << "the date column starts at L + 350";
        // The last column runs to the right edge; the last section's width plays no part.
        EXPECT_TRUE(inked(image, kWidth - 40, kWidth, base));
    }
}

}  // namespace
}  // namespace quorvel
