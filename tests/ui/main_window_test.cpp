#include <QContextMenuEvent>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QStandardItemModel>
#include <QTest>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <fstream>
#include <string>

#include "records/record_file.h"
#include "support/cli_runner.h"
#include "support/printers.h"
#include "support/raw_server.h"
#include "support/temp_dir.h"
#include "ui/form1.h"
#include "ui/ui_helpers.h"

namespace quorvel {
namespace {

using namespace Qt::StringLiterals;
using test::RawServer;

TEST(MainWindow, StartsInAnEmptyDirectory) {
    test::QuitCounter end;
    test::TempDir dir;
    TForm1 form(dir.path(QString()));
    const test::Controls ui(&form);
    EXPECT_EQ(form.windowTitle(), u"Quorvel");
    EXPECT_EQ(form.size(), QSize(979, 432));
    EXPECT_EQ(form.records()->rowCount(), 0);
    EXPECT_EQ(ui.StatusPanel0->text(), u" всего элементов: 0");
    EXPECT_EQ(form.columnWidths(), (ColumnWidths{245, 245, 109, 109, 163, 163, 50, 50}));
    EXPECT_FALSE(form.MarkersShown);
    EXPECT_TRUE(form.BannerLink.isEmpty());
    EXPECT_TRUE(ui.Panel1->isHidden());
    EXPECT_TRUE(ui.Button1->isHidden());
    EXPECT_TRUE(ui.Button2->isHidden());
    EXPECT_EQ(ui.Edit5->text(), u"5");
    EXPECT_EQ(ui.DateTimePicker1->date(), QDate(2010, 10, 20));
    EXPECT_EQ(ui.StatusPanel0->width(), 187);
    EXPECT_EQ(ui.StatusPanel1->width(), 287);
    EXPECT_EQ(ui.Image1->size(), QSize(476, 61));
    EXPECT_EQ(ui.ToolButton3->property("hint").toString().count(u"\r\n"), 6);
    EXPECT_TRUE(ui.ToolButton3->property("hint").toString().startsWith(
        u"проверить наличие ссылок на сайте партнеров:\r\nзеленый - ссылка есть"));
    const auto* header = static_cast<const QStandardItemModel*>(ui.HeaderControl1->model());
    EXPECT_EQ(header->horizontalHeaderItem(0)->text(), u"страница партнера");
    EXPECT_EQ(header->horizontalHeaderItem(7)->text(), u"дополнительно");

    form.showAtStart();
    EXPECT_TRUE(ui.ListBox1->selectionModel()->selectedIndexes().isEmpty());
    form.close();
    EXPECT_EQ(end.quits, 1);
    EXPECT_EQ(QFileInfo(dir.path(u"data.qvp"_s)).size(), 0) << "an empty list is 0 bytes";
    EXPECT_EQ(dir.read(u"widths.qvf"_s), "245\r\n245\r\n109\r\n109\r\n163\r\n163\r\n50\r\n50\r\n");
}

TEST(MainWindow, LoadsRecordsAndWritesThemBackOnClose) {
    test::QuitCounter end;
    test::TempDir dir;
    dir.write(u"data.qvp"_s, "\xEF\xBB\xBF<QV_U>\xD0\x9F</QV_U>\r\nsecond\nthird");
    dir.write(u"widths.qvf"_s, "300\n200\n");
    TForm1 form(dir.path(QString()));
    const test::Controls ui(&form);
    EXPECT_EQ(ui.StatusPanel0->text(), u" всего элементов: 3");
    EXPECT_EQ(form.columnWidths()[0], 300);
    EXPECT_EQ(form.columnWidths()[2], 109);
    EXPECT_EQ(ui.ListBox1->currentIndex().row(), 0) << "a focus row from the start";
    form.showAtStart();
    EXPECT_EQ(ui.ListBox1->selectionModel()->selectedRows().size(), 1);
    EXPECT_TRUE(ui.ListBox1->selectionModel()->isRowSelected(0));

    ui.HeaderControl1->resizeSection(3, 77);
    form.close();
    EXPECT_EQ(dir.read(u"data.qvp"_s), "<QV_U>\xCF</QV_U>\r\nsecond\r\nthird\r\n");
    EXPECT_EQ(dir.read(u"widths.qvf"_s), "300\r\n200\r\n109\r\n77\r\n163\r\n163\r\n50\r\n50\r\n");
}

// Closing writes silently, but a write that fails leaves its reason on
// standard error, one line per file.
TEST(MainWindow, AFailedClosingWriteSaysWhyOnStandardError) {
    test::QuitCounter end;
    test::TempDir dir;
    ASSERT_TRUE(QDir().mkdir(dir.path(u"data.qvp"_s)));
    ASSERT_TRUE(QDir().mkdir(dir.path(u"widths.qvf"_s)));
    TForm1 form(dir.path(QString()));
    const QString log = dir.path(u"stderr.txt"_s);
    std::fflush(stderr);
    const int saved = ::dup(2);
    const int to = ::open(QFile::encodeName(log).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(to, 0);
    ::dup2(to, 2);
    ::close(to);
    form.close();
    std::fflush(stderr);
    ::dup2(saved, 2);
    ::close(saved);
    const QStringList lines = QString::fromLocal8Bit(dir.read(u"stderr.txt"_s)).split(u'\n');
    const auto said = [&](const QString& name) {
        return std::count_if(lines.begin(), lines.end(), [&](const QString& line) {
            return line.startsWith(u"quorvel: cannot write "_s) && line.contains(name) &&
                   line.endsWith(u": not a regular file"_s);
        });
    };
    EXPECT_EQ(said(u"data.qvp"_s), 1) << lines.join(u'|').toStdString();
    EXPECT_EQ(said(u"widths.qvf"_s), 1);
    EXPECT_TRUE(QFileInfo(dir.path(u"data.qvp"_s)).isDir()) << "never replaced";
}

TEST(MainWindow, RightClickLeavesFocusAndSelection) {
    test::QuitCounter end;
    test::TempDir dir;
    dir.write(u"data.qvp"_s, "a\r\nb\r\nc\r\n");
    TForm1 form(dir.path(QString()));
    const test::Controls ui(&form);
    form.showAtStart();
    QItemSelectionModel* selection = ui.ListBox1->selectionModel();
    selection->setCurrentIndex(form.records()->index(1), QItemSelectionModel::ClearAndSelect);
    const QPoint row2 = ui.ListBox1->visualRect(form.records()->index(2)).center();
    QTest::mouseClick(ui.ListBox1->viewport(), Qt::RightButton, {}, row2);
    EXPECT_EQ(ui.ListBox1->currentIndex().row(), 1);
    EXPECT_EQ(selection->selectedRows().size(), 1);
    EXPECT_TRUE(selection->isRowSelected(1));

    // The menu: N2 only while markers are shown.
    QContextMenuEvent menu(QContextMenuEvent::Mouse, row2,
                           ui.ListBox1->viewport()->mapToGlobal(row2));
    QCoreApplication::sendEvent(ui.ListBox1->viewport(), &menu);
    ASSERT_TRUE(QTest::qWaitFor([&] { return ui.PopupMenu1->isVisible(); }));
    EXPECT_FALSE(ui.N2->isEnabled());
    EXPECT_TRUE(ui.N1->isEnabled());
    ui.PopupMenu1->hide();
    EXPECT_EQ(ui.ListBox1->currentIndex().row(), 1);

    form.MarkersShown = true;
    form.PopupMenu1Popup();
    EXPECT_TRUE(ui.N2->isEnabled());
    ui.N2->trigger();
    EXPECT_FALSE(form.MarkersShown);
    form.close();
}

TEST(MainWindow, CheckRunFromTheButton) {
    test::QuitCounter end;
    RawServer server(test::partnerPages());
    test::TempDir dir;
    const QString base = u"127.0.0.1:%1"_s.arg(server.port());
    TForm1 form(dir.path(QString()));
    const test::Controls ui(&form);
    for (const char16_t* path : {u"/found", u"/hidden", u"/none"}) {
        form.records()->insertRecord(
            form.records()->rowCount(),
            test::recordLine(base + QStringView(path), u"me.example.com"_s));
    }
    form.showAtStart();
    ui.ToolButton3->trigger();
    EXPECT_TRUE(form.MarkersShown);
    EXPECT_NE(form.checkRun().state(), CheckRun::State::Idle);
    ASSERT_TRUE(QTest::qWaitFor([&] { return form.checkRun().state() == CheckRun::State::Idle; }));
    EXPECT_TRUE(ui.ToolButton3->isEnabled());
    const CheckResults& r = form.checkRun().results();
    EXPECT_EQ(r.statusAt(0), CheckStatus::Found);
    EXPECT_EQ(r.statusAt(1), CheckStatus::Hidden);
    EXPECT_EQ(r.statusAt(2), CheckStatus::FetchFailed);
    form.close();
}

TEST(MainWindow, ClosingDuringARunDoesNotWait) {
    test::QuitCounter end;
    RawServer server(test::partnerPages());
    test::TempDir dir;
    TForm1 form(dir.path(QString()));
    const test::Controls ui(&form);
    for (int i = 0; i < 12; ++i) {
        form.records()->insertRecord(i,
                                     test::recordLine(u"127.0.0.1:%1/never"_s.arg(server.port())));
    }
    form.showAtStart();
    ui.ToolButton3->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.requests().size() == kCheckWorkers; }));
    ui.ToolButton3->trigger();
    EXPECT_EQ(form.checkRun().state(), CheckRun::State::Stopping);

    QElapsedTimer timer;
    timer.start();
    form.close();
    EXPECT_LT(timer.elapsed(), 1000);
    EXPECT_EQ(end.quits, 1);
    EXPECT_EQ(form.checkRun().state(), CheckRun::State::Idle) << "every worker has ended";
    EXPECT_EQ(readRecordFile(dir.path(u"data.qvp"_s)).records.size(), 12);
    EXPECT_TRUE(QFileInfo::exists(dir.path(u"widths.qvf"_s)));
}

// While a run stops, the button has a state of its own, and a click cuts the
// downloads under way off; what they were for gets no result.
TEST(MainWindow, AClickWhileStoppingCutsTheDownloadsOff) {
    test::QuitCounter end;
    RawServer server(test::partnerPages());
    test::TempDir dir;
    TForm1 form(dir.path(QString()));
    const test::Controls ui(&form);
    const QString base = u"127.0.0.1:%1"_s.arg(server.port());
    form.records()->insertRecord(0, test::recordLine(base + u"/found", u"me.example.com"_s));
    for (int i = 1; i <= 12; ++i) {
        form.records()->insertRecord(i, test::recordLine(base + u"/never"));
    }
    form.showAtStart();
    const QString idleHint = ui.ToolButton3->property("hint").toString();
    const QImage runPicture = QIcon(u":/quorvel/toolbar0.png"_s).pixmap(24).toImage();
    ui.ToolButton3->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.requests().size() == 11; }));
    ui.ToolButton3->trigger();
    ASSERT_EQ(form.checkRun().state(), CheckRun::State::Stopping);
    EXPECT_TRUE(ui.ToolButton3->isEnabled());
    EXPECT_NE(ui.ToolButton3->icon().pixmap(24).toImage(), runPicture);
    EXPECT_EQ(ui.ToolButton3->property("hint").toString(),
              u"остановка проверки: дождитесь окончания загрузок или нажмите, чтобы прервать их");

    QElapsedTimer timer;
    timer.start();
    ui.ToolButton3->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return form.checkRun().state() == CheckRun::State::Idle; }));
    EXPECT_LT(timer.elapsed(), 1000);
    EXPECT_EQ(ui.ToolButton3->property("hint").toString(), idleHint);
    EXPECT_EQ(idleHint.count(u"\r\n"), 6);
    const CheckResults& r = form.checkRun().results();
    EXPECT_EQ(r.statusAt(0), CheckStatus::Found);
    for (int i = 1; i <= 12; ++i) {
        EXPECT_EQ(r.statusAt(i), CheckStatus::None) << "cut off or never taken: " << i;
    }
    form.close();
}

// The real program: an end signal takes the normal closing path.
TEST(MainWindow, EndSignalsWriteTheFiles) {
    for (int sig : {SIGTERM, SIGHUP, SIGINT}) {
        test::TempDir dir;
        dir.write(u"data.qvp"_s, "\xEF\xBB\xBF\xD0\x9F\xD1\x80\xD0\xB8\r\n");
        test::CliProcess app({}, {}, dir.path(QString()), QUORVEL_APP_PATH);
        // Ready once it has taken over the signal.
        const std::string status = "/proc/" + std::to_string(app.pid()) + "/status";
        const unsigned long long bit = 1ull << (sig - 1);
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                std::ifstream in(status);
                std::string line;
                while (std::getline(in, line)) {
                    if (line.rfind("SigCgt:", 0) == 0) {
                        return (std::stoull(line.substr(7), nullptr, 16) & bit) != 0;
                    }
                }
                return false;
            },
            10000));
        ::kill(app.pid(), sig);
        const test::CliResult r = app.finish(5000);
        EXPECT_EQ(r.exitCode, 0) << sig;
        EXPECT_EQ(dir.read(u"data.qvp"_s), "\xCF\xF0\xE8\r\n") << sig;
        EXPECT_EQ(dir.read(u"widths.qvf"_s).count('\n'), 8) << sig;
    }
}

}  // namespace
}  // namespace quorvel
