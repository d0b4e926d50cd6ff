#include <QAbstractItemModelTester>
#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLineEdit>
#include <QTableView>
#include <QTest>
#include <QTextDocumentFragment>
#include <QToolBar>
#include <QToolTip>

#include <gtest/gtest.h>

#include "history/history_support.h"
#include "records/record_file.h"
#include "records/record_line.h"
#include "support/cli_runner.h"
#include "support/printers.h"
#include "support/raw_server.h"
#include "support/temp_dir.h"
#include "ui/form1.h"
#include "ui/history_window.h"
#include "ui/overview_model.h"
#include "ui/overview_window.h"
#include "ui/runs_strip.h"
#include "ui/ui_helpers.h"

namespace quorvel {
namespace {

using namespace Qt::StringLiterals;
using test::RawServer;

const QString kLink = u"me.example.com"_s;

// Partner pages for every state the overview tells apart.
RawServer::Handler statePages() {
    return [](const RawServer::Connection& c) {
        const QByteArray target = test::requestTarget(c.request);
        const QByteArray link = "<a href=http://me.example.com/>me</a>";
        if (target.startsWith("/found")) {
            c.send(test::httpResponse("200 OK", link));
        } else if (target == "/hidden") {
            c.send(
                test::httpResponse("200 OK", "<a href=http://me.example.com/ rel=nofollow>me</a>"));
        } else if (target == "/noindex") {
            c.send(test::httpResponse("200 OK", "<meta name=robots content=noindex>" + link));
        } else if (target.startsWith("/missing")) {
            c.send(test::httpResponse("200 OK", "<p>no links here</p>"));
        } else if (target == "/wall") {
            c.send(test::httpResponse("403 Forbidden", "wait", "cf-mitigated: challenge\r\n"));
        } else {
            c.send("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n");
        }
    };
}

// A window over a list whose history three command-line runs made, with
// one record added after them; its overview open and read.
class OverviewTest : public ::testing::Test {
  protected:
    OverviewTest()
        : server(statePages()), modal(&TForm1::setModalHookForTests, [this](QDialog& dialog) {
              dialogs += dialog.objectName();
              if (auto* window = qobject_cast<HistoryWindow*>(&dialog)) {
                  historyTitles += window->windowTitle();
                  return int(QDialog::Accepted);
              }
              if (dialog.objectName() == u"BusyDialog") {
                  return dialog.exec();
              }
              return int(QDialog::Rejected);
          }) {}

    QString url(const char* path) const {
        return u"127.0.0.1:%1/%2"_s.arg(server.port()).arg(QLatin1StringView(path));
    }

    void SetUp() override {
        records = {
            BuildRecordLine(url("found"), {}, u"Partner@Example.com"_s, QDate(2010, 10, 21), {},
                            u"5"_s, kLink, {}),
            test::recordLine(url("hidden"), kLink),
            test::recordLine(url("noindex"), kLink),
            test::recordLine(url("missing"), kLink),
            test::recordLine(url("wall"), kLink),
            BuildRecordLine(url("found?own"), {}, {}, QDate(2010, 10, 21), url("missing"), u"5"_s,
                            kLink, {}),
            test::recordLine(url("gone"), kLink),
        };
        ASSERT_TRUE(writeRecordFile(dir.path(u"data.qvp"_s), records));
        for (int run = 0; run < 3; ++run) {
            const test::CliResult r = test::runCli({u"check"_s, dir.path(u"data.qvp"_s)});
            ASSERT_EQ(r.exitCode, 1) << r.err.toStdString();
        }
        records += test::recordLine(url("found?new"), kLink);  // never checked
        ASSERT_TRUE(writeRecordFile(dir.path(u"data.qvp"_s), records));

        form = std::make_unique<TForm1>(dir.path(QString()));
        form->showAtStart();
        ui = std::make_unique<test::Controls>(form.get());
        test::named<QAction>(form.get(), "OverviewButton")->trigger();
        window = test::named<OverviewWindow>(form.get(), "OverviewWindow");
        ASSERT_TRUE(window);
        table = test::named<QTableView>(window, "OverviewTable");
        // Every reset, sort and filter below keeps the model's promises.
        tester = std::make_unique<QAbstractItemModelTester>(
            table->model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
        waitUntilShown();
    }

    void waitUntilShown() {
        ASSERT_TRUE(QTest::qWaitFor([&] { return window->upToDate(); }));
    }

    // The column's words, row by row, as the table shows them.
    QStringList column(int c) const {
        QStringList texts;
        for (int row = 0; row < table->model()->rowCount(); ++row) {
            texts += table->model()->index(row, c).data().toString();
        }
        return texts;
    }
    QVariant cell(int row, int c, int role) const {
        return table->model()->index(row, c).data(role);
    }
    QString text(int row, int c) const { return cell(row, c, Qt::DisplayRole).toString(); }

    RawServer server;
    test::QuitCounter quit;
    test::ScopedHook<std::function<int(QDialog&)>> modal;
    test::TempDir dir;
    QStringList records;
    QStringList dialogs;
    QStringList historyTitles;
    std::unique_ptr<TForm1> form;
    std::unique_ptr<test::Controls> ui;
    OverviewWindow* window = nullptr;
    QTableView* table = nullptr;
    std::unique_ptr<QAbstractItemModelTester> tester;  // ends before the model does
};

enum Column { Number, State, Since, LastFound, Reason, Signals, Reciprocal, Deadline, Count };

TEST_F(OverviewTest, EveryRecordAsTheHistoryKnowsIt) {
    // The seventh button, right of the six, with its own picture and key.
    auto* button = test::named<QAction>(form.get(), "OverviewButton");
    const QList<QAction*> toolbar = test::named<QToolBar>(form.get(), "ToolBar1")->actions();
    EXPECT_EQ(toolbar.indexOf(ui->ToolButton6) + 1, toolbar.indexOf(button));
    EXPECT_EQ(button->property("hint").toString(),
              u"обзор партнеров: состояние ссылок по истории проверок");
    EXPECT_FALSE(button->icon().isNull());
    EXPECT_EQ(button->shortcut(), QKeySequence(u"Ctrl+I"_s));

    EXPECT_EQ(window->windowTitle(), u"обзор партнеров: 8 из 8");
    EXPECT_EQ(column(Number),
              (QStringList{u"1"_s, u"2"_s, u"3"_s, u"4"_s, u"5"_s, u"6"_s, u"7"_s, u"8"_s}));
    EXPECT_EQ(
        column(State),
        (QStringList{u"ссылка есть"_s, u"ссылка не индексируется"_s, u"ссылка есть"_s,
                     u"ссылки нет"_s, u"страница закрыта защитой от ботов"_s, u"ссылка есть"_s,
                     u"не удалось загрузить страницу партнера"_s, u"еще не проверялась"_s}));
    EXPECT_EQ(text(1, Reason), u"rel=nofollow");
    EXPECT_EQ(text(2, Signals), u"meta robots noindex");
    EXPECT_EQ(text(5, Reciprocal), u"нет");
    EXPECT_EQ(text(0, Reciprocal), u"") << "the record names no page of yours";
    EXPECT_EQ(text(0, Count), u"1");
    EXPECT_EQ(text(6, Count), u"") << "no page, no count";
    // Beside the count: every external link (your own site among them) and
    // the link's text.
    EXPECT_EQ(table->model()->headerData(Count + 1, Qt::Horizontal).toString(),
              u"всего внешних ссылок");
    EXPECT_EQ(table->model()->headerData(Count + 2, Qt::Horizontal).toString(), u"текст ссылки");
    EXPECT_EQ(text(0, Count + 1), u"1");
    EXPECT_EQ(text(0, Count + 2), u"me");
    EXPECT_EQ(text(6, Count + 1), u"") << "no page, no count";
    EXPECT_FALSE(text(0, Since).isEmpty());
    EXPECT_FALSE(text(0, LastFound).isEmpty());
    EXPECT_EQ(text(3, LastFound), u"");
    EXPECT_EQ(text(3, Deadline), u"21.10.2010")
        << "a deadline that had passed before the first check is no news";
    EXPECT_TRUE(text(7, Since).isEmpty());

    // Light tints of the markers, dark text; a record never checked has none.
    const CheckStatus tints[] = {CheckStatus::Found,       CheckStatus::Hidden,
                                 CheckStatus::Found,       CheckStatus::Missing,
                                 CheckStatus::FetchFailed, CheckStatus::Found,
                                 CheckStatus::FetchFailed};
    for (int row = 0; row < 7; ++row) {
        SCOPED_TRACE(row);
        EXPECT_EQ(cell(row, State, Qt::BackgroundRole).value<QColor>(), overviewTint(tints[row]));
        EXPECT_LT(cell(row, State, Qt::ForegroundRole).value<QColor>().lightness(), 60);
    }
    EXPECT_FALSE(cell(7, State, Qt::BackgroundRole).isValid());
    EXPECT_GT(overviewTint(CheckStatus::FetchFailed).lightness(), 150)
        << "dark text stays readable on the darkest tint";

    // A selected row keeps a tint of its own under dark text.
    table->selectRow(4);
    const QImage picture = table->viewport()->grab().toImage();
    const QColor selected =
        picture.pixelColor(table->visualRect(table->model()->index(4, Signals)).center());
    EXPECT_NE(selected, table->palette().color(QPalette::Highlight));
    EXPECT_GT(selected.lightness(), 120);

    // The picture of the runs: this list's three runs, counted by status.
    auto* strip = test::named<RunsStrip>(window, "OverviewRuns");
    ASSERT_EQ(strip->runs().size(), 3);
    EXPECT_EQ(strip->runs().last().byStatus, (std::array<int, 4>{3, 1, 1, 2}));
    EXPECT_TRUE(RunsStrip::runHint(strip->runs().last())
                    .endsWith(u"(quorvel-cli): есть 3 · скрыты 1 · нет 1 · недоступны 2"))
        << RunsStrip::runHint(strip->runs().last()).toStdString();
    const QImage runs = strip->grab().toImage();
    const int x = strip->runAt(QPoint(6, 10)) == 0 ? 6 : -1;
    ASSERT_EQ(x, 6) << "the first run is drawn at the left";
    EXPECT_EQ(runs.pixelColor(x, 56), RecordDelegate::markerColor(CheckStatus::Found))
        << "Found at the bottom of the column";
}

TEST_F(OverviewTest, SortingFilteringAndSearching) {
    QHeaderView* header = table->horizontalHeader();
    const auto clickHeader = [&](int c) {
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(c) + 5, 5));
        waitUntilShown();
    };
    clickHeader(Number);
    clickHeader(Number);
    EXPECT_EQ(column(Number).first(), u"8") << "descending";
    clickHeader(State);
    QStringList states = column(State);
    for (qsizetype i = 1; i < states.size(); ++i) {
        EXPECT_LE(states[i - 1].compare(states[i], Qt::CaseInsensitive), 0) << i;
    }
    EXPECT_EQ(form->records()->records(), records) << "the list keeps its order";

    auto* filter = test::named<QComboBox>(window, "OverviewFilter");
    EXPECT_EQ(filter->currentText(), u"все");
    filter->setCurrentIndex(filter->findText(u"только проблемы"_s));
    waitUntilShown();
    EXPECT_EQ(window->windowTitle(), u"обзор партнеров: 7 из 8") << "all but the plain found";
    EXPECT_FALSE(column(Number).contains(u"1"_s));
    filter->setCurrentIndex(filter->findText(u"изменились за последнюю проверку"_s));
    waitUntilShown();
    QStringList changed = column(Number);
    changed.sort();
    EXPECT_EQ(changed, (QStringList{u"5"_s, u"7"_s})) << "down and blocked in the last run";

    filter->setCurrentIndex(0);
    auto* search = test::named<QLineEdit>(window, "OverviewSearch");
    QTest::keyClicks(search, u"partner@EXAMPLE"_s);
    waitUntilShown();
    EXPECT_EQ(column(Number), QStringList{u"1"_s});
    search->clear();
    for (const QChar letter : u"ЗАЩИТОЙ"_s) {  // typed, one Cyrillic key at a time
        QTest::sendKeyEvent(QTest::Click, search, Qt::Key_unknown, QString(letter), {});
    }
    waitUntilShown();
    EXPECT_EQ(column(Number), QStringList{u"5"_s});
    EXPECT_EQ(window->windowTitle(), u"обзор партнеров: 1 из 8");

    form->close();
    EXPECT_EQ(readRecordFile(dir.path(u"data.qvp"_s)).records, records);
}

TEST_F(OverviewTest, ChoosingARowSelectsTheRecord) {
    ui->ToolButton5->trigger();  // the editor open, in edit mode
    // Sorted, so that a table row is not a list row.
    table->sortByColumn(Number, Qt::DescendingOrder);
    waitUntilShown();
    const QModelIndex third = table->model()->index(2, State);  // record 6
    // A double click as a person makes it: a click, then the second press.
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, table->visualRect(third).center());
    QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, table->visualRect(third).center());
    EXPECT_EQ(ui->ListBox1->currentIndex().row(), 5);
    EXPECT_TRUE(ui->ListBox1->selectionModel()->isRowSelected(5));
    EXPECT_EQ(ui->Edit1->text(), url("found?own")) << "the editor follows, as after a click";
    EXPECT_TRUE(window->isVisible());

    table->setCurrentIndex(table->model()->index(7, State));  // record 1
    QTest::keyClick(table, Qt::Key_Return);
    EXPECT_EQ(ui->ListBox1->currentIndex().row(), 0);
    EXPECT_EQ(ui->Edit1->text(), url("found"));

    // The row's own menu: the record's history.
    table->setCurrentIndex(table->model()->index(3, State));  // record 5
    test::named<QAction>(window, "OverviewHistory")->trigger();
    EXPECT_EQ(historyTitles, QStringList{u"история проверок: "_s + url("wall")});
    EXPECT_EQ(ui->ListBox1->currentIndex().row(), 4);
}

TEST_F(OverviewTest, FollowsTheListAndOpensOnceAtATime) {
    // A record added in the editor shows without a new opening.
    ui->ToolButton1->trigger();
    ui->Edit1->setText(url("found?added"));
    ui->Button2->click();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return window->windowTitle() == u"обзор партнеров: 9 из 9"; }));
    waitUntilShown();
    EXPECT_EQ(column(State).last(), u"еще не проверялась");

    // Opening it again raises the same window.
    test::named<QAction>(form.get(), "OverviewButton")->trigger();
    EXPECT_EQ(form->findChildren<OverviewWindow*>().size(), 1);
}

// The hint of a row of the main list, as the tooltip shows it.
QString hintOf(const test::Controls& ui, int row) {
    QWidget* viewport = ui.ListBox1->viewport();
    const QPoint at = ui.ListBox1->visualRect(ui.ListBox1->model()->index(row, 0)).center();
    QHelpEvent help(QEvent::ToolTip, at, viewport->mapToGlobal(at));
    QApplication::sendEvent(viewport, &help);
    return QToolTip::isVisible() ? QTextDocumentFragment::fromHtml(QToolTip::text()).toPlainText()
                                 : QString();
}

// Every row of the list has a hint of what the history knows of it; a
// deadline counts as overdue only when it lapsed after the first check: a
// record added with the picker's start date is not late at its first check.
TEST_F(OverviewTest, RowHintsAndAPromiseThatLapsed) {
    const QStringList hidden = hintOf(*ui, 1).split(u'\n');
    ASSERT_GE(hidden.size(), 3);
    EXPECT_TRUE(hidden[0].startsWith(u"ссылка не индексируется с "_s)) << hidden[0].toStdString();
    EXPECT_TRUE(hidden[1].startsWith(u"ссылка последний раз найдена "_s));
    EXPECT_EQ(hidden[2], u"причина: rel=nofollow");
    EXPECT_TRUE(hintOf(*ui, 2).contains(u"\nсигналы страницы: meta robots noindex"_s));
    EXPECT_TRUE(hintOf(*ui, 5).contains(u"\nваша ссылка на партнера: нет"_s));
    EXPECT_TRUE(hintOf(*ui, 4).startsWith(u"страница закрыта защитой от ботов с "_s));
    EXPECT_EQ(hintOf(*ui, 7), u"еще не проверялась");

    // Added in the editor without touching the date: the picker's start date.
    ui->ToolButton1->trigger();
    ui->Edit1->setText(url("missing?added"));
    ui->Edit6->setText(kLink);
    ui->Button2->click();
    // And one whose first check came before its deadline.
    const QDate today = QDate::currentDate();
    ui->Edit1->setText(url("missing?late"));
    ui->DateTimePicker1->setDate(today.addDays(-2));
    ui->Button2->click();
    const QString path = dir.path(QString::fromUtf16(kHistoryFileName));
    const qint64 then = QDateTime(today.addDays(-5), QTime(12, 0)).toSecsSinceEpoch();
    ASSERT_EQ(test::recordRun(path, then,
                              {test::historyEntry({url("missing?late"), kLink},
                                                  CheckStatus::Missing, then + 60)})
                  .written,
              1);

    ui->ToolButton3->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->checkRun().state() == CheckRun::State::Idle; }));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return window->upToDate() && text(8, State) == u"не подтверждено: ссылки нет"; },
        10000));
    EXPECT_EQ(text(8, Deadline), u"20.10.2010");
    EXPECT_FALSE(hintOf(*ui, 8).contains(u"срок установки ссылки истек"_s));
    const QString late = FormatRecordDate(today.addDays(-2));
    EXPECT_EQ(text(9, Deadline), late + u", просрочен");
    EXPECT_TRUE(hintOf(*ui, 9).endsWith(u"\nсрок установки ссылки истек "_s +
                                        today.addDays(-2).toString(u"dd.MM.yyyy"_s)))
        << hintOf(*ui, 9).toStdString();
    EXPECT_EQ(test::queryNumber(path, "SELECT count(*) FROM results WHERE overdue = 1"), 1)
        << "the history keeps it for the late one only";
}

}  // namespace
}  // namespace quorvel
