#include <QElapsedTimer>
#include <QFileInfo>
#include <QMessageBox>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>

#include <sqlite3.h>

#include "checking/page_renderer.h"
#include "history/history_reader.h"
#include "history/history_support.h"
#include "history/sqlite_db.h"
#include "records/record_file.h"
#include "records/record_line.h"
#include "support/cli_runner.h"
#include "support/printers.h"
#include "support/raw_server.h"
#include "support/temp_dir.h"
#include "ui/form1.h"
#include "ui/history_window.h"
#include "ui/ui_helpers.h"

namespace quorvel {
namespace {

using namespace Qt::StringLiterals;
using test::RawServer;

const QString kLink = u"me.example.com"_s;

QString historyPath(const test::TempDir& dir) {
    return dir.path(QString::fromUtf16(kHistoryFileName));
}

QList<RecordIdentity> identitiesOf(const QStringList& records) {
    QList<RecordIdentity> identities;
    for (const QString& line : records) {
        identities += identityOf(line);
    }
    return identities;
}

// What the history says of these identities now, read as another program
// would; empty while it cannot be read.
QList<RecordSummary> summariesOf(const QString& path, const QList<RecordIdentity>& identities) {
    HistoryReader reader(path);
    Outcome<QList<RecordSummary>> answer = reader.summaries(identities);
    return answer.ok() ? answer.value : QList<RecordSummary>();
}

QList<qint64> checksOf(const QString& path, const QList<RecordIdentity>& identities) {
    QList<qint64> checks;
    for (const RecordSummary& summary : summariesOf(path, identities)) {
        checks += summary.checks;
    }
    return checks;
}

// Another program in the middle of a write: holds the history's write lock.
struct WriteLock {
    explicit WriteLock(const QString& path) {
        EXPECT_EQ(db.open(path, SQLITE_OPEN_READWRITE, {}), SQLITE_OK);
        EXPECT_EQ(db.exec("BEGIN IMMEDIATE"), SQLITE_OK);
    }
    void release() { db.exec("ROLLBACK"); }
    SqliteDatabase db;
};

// Runs from the button go to the history beside data.qvp, one result per
// identity and run, with the reasons; the window writes after the run, off
// its own thread.
TEST(WindowHistory, CheckRunsAreRecordedBesideTheDataFile) {
    test::QuitCounter end;
    RawServer server(test::partnerPages());
    test::TempDir dir;
    const QString base = u"127.0.0.1:%1"_s.arg(server.port());
    const QStringList records = {
        test::recordLine(base + u"/found", kLink), test::recordLine(base + u"/hidden", kLink),
        test::recordLine(base + u"/none", kLink), test::recordLine(base + u"/found", kLink),
        test::recordLine(base + u"/found")};
    TForm1 form(dir.path(QString()));
    const test::Controls ui(&form);
    form.records()->setRecords(records);
    form.showAtStart();
    const QString path = historyPath(dir);
    const QList<RecordIdentity> identities = identitiesOf(records);

    for (qint64 run = 1; run <= 2; ++run) {
        SCOPED_TRACE(run);
        ui.ToolButton3->trigger();
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return form.checkRun().state() == CheckRun::State::Idle; }));
        // The copy of the first record adds nothing of its own.
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return checksOf(path, identities) == QList<qint64>(5, run); }, 10000))
            << "checks: " << checksOf(path, identities).size();
    }
    EXPECT_EQ(test::queryNumber(path, "SELECT count(*) FROM runs WHERE source = 'window'"), 2);
    EXPECT_EQ(test::queryNumber(path, "SELECT count(*) FROM results"), 8);

    const QList<RecordSummary> s = summariesOf(path, identities);
    ASSERT_EQ(s.size(), 5);
    EXPECT_EQ(s[0].state, ConfirmedState::Found);
    EXPECT_EQ(s[0].lastReason, u"");
    EXPECT_EQ(s[1].state, ConfirmedState::Hidden);
    EXPECT_EQ(s[1].lastReason, u"nofollow");
    EXPECT_EQ(s[2].lastStatus, CheckStatus::FetchFailed);
    EXPECT_FALSE(s[2].lastReason.isEmpty());
    EXPECT_EQ(s[4].lastStatus, CheckStatus::Missing);
    EXPECT_EQ(s[4].lastReason, u"no-link");
    EXPECT_EQ(s[4].state, ConfirmedState::Missing) << "two Missing checks confirm it";
    form.close();
    EXPECT_EQ(readRecordFile(dir.path(u"data.qvp"_s)).records, records);
}

// Closing during a run writes the results that came in, within the closing
// bound, and leaves the records it cut off out.
TEST(WindowHistory, ClosingDuringARunKeepsTheResultsThatCameIn) {
    test::QuitCounter end;
    RawServer server(test::partnerPages());
    test::TempDir dir;
    const QString base = u"127.0.0.1:%1"_s.arg(server.port());
    TForm1 form(dir.path(QString()));
    const test::Controls ui(&form);
    QStringList records = {test::recordLine(base + u"/found", kLink)};
    for (int i = 0; i < 12; ++i) {
        records += test::recordLine(base + u"/never?" + QString::number(i), kLink);
    }
    form.records()->setRecords(records);
    form.showAtStart();
    ui.ToolButton3->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.requests().size() == kCheckWorkers + 1; }));
    ASSERT_EQ(form.checkRun().results().statusAt(0), CheckStatus::Found);

    QElapsedTimer timer;
    timer.start();
    form.close();
    EXPECT_LT(timer.elapsed(), 1000);
    EXPECT_EQ(end.quits, 1);
    EXPECT_EQ(readRecordFile(dir.path(u"data.qvp"_s)).records.size(), 13);
    EXPECT_TRUE(QFileInfo::exists(dir.path(u"widths.qvf"_s)));
    EXPECT_EQ(checksOf(historyPath(dir), identitiesOf(records.mid(0, 3))),
              (QList<qint64>{1, 0, 0}));
}

// Another program holding the history neither keeps the window waiting at
// the end of a run nor holds up closing beyond its bound; the results wait
// for the file, or are dropped when the window closes first.
TEST(WindowHistory, AHistoryHeldByAnotherProgram) {
    test::QuitCounter end;
    RawServer server(test::partnerPages());
    test::TempDir dir;
    const QString path = historyPath(dir);
    ASSERT_EQ(test::recordRun(path, 1'700'000'000, {}).open.status, HistoryOpenStatus::Created);
    const QString base = u"127.0.0.1:%1"_s.arg(server.port());
    const QStringList records = {test::recordLine(base + u"/found", kLink),
                                 test::recordLine(base + u"/hidden", kLink)};
    const QList<RecordIdentity> identities = identitiesOf(records);
    TForm1 form(dir.path(QString()));
    const test::Controls ui(&form);
    form.records()->setRecords(records);
    form.showAtStart();

    // The writer says when it has met the lock: that is the moment to see
    // that nothing is written yet.
    std::atomic<bool> blocked{false};
    HistoryRecorderOptions options;
    options.busyTimeout = std::chrono::milliseconds(50);
    options.onBusy = [&blocked] { blocked.store(true); };
    form.setHistoryOptionsForTests(options);

    WriteLock lock(path);
    QElapsedTimer timer;
    timer.start();
    ui.ToolButton3->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return form.checkRun().state() == CheckRun::State::Idle; }));
    EXPECT_LT(timer.elapsed(), 5000) << "the end of the run does not wait for the file";
    ASSERT_TRUE(QTest::qWaitFor([&] { return blocked.load(); }, 10000));
    EXPECT_EQ(checksOf(path, identities), (QList<qint64>{0, 0}));
    lock.release();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return checksOf(path, identities) == QList<qint64>{1, 1};
        },
        10000));

    WriteLock again(path);
    ui.ToolButton3->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return form.checkRun().state() == CheckRun::State::Idle; }));
    timer.restart();
    form.close();
    EXPECT_LT(timer.elapsed(), 3000) << "about 2 s at most, then the results are dropped";
    EXPECT_EQ(end.quits, 1);
    EXPECT_TRUE(QFileInfo::exists(dir.path(u"widths.qvf"_s)));
    again.release();
    EXPECT_EQ(checksOf(path, identities), (QList<qint64>{1, 1}));
    EXPECT_EQ(test::queryNumber(path, "SELECT count(*) FROM runs"), 2)
        << "the prepared run and the window's first; its second never got the file";
}

// The window and a cron job's quorvel-cli check write the same history at
// the same time: both runs' results are kept, and neither is refused.
TEST(WindowHistory, TheWindowAndTheCommandLineShareAHistory) {
    test::QuitCounter end;
    RawServer server([](const RawServer::Connection& c) {
        c.pause(50);  // long enough that the two runs overlap
        c.send(test::httpResponse("200 OK", "<a href=http://me.example.com/>me</a>"));
    });
    test::TempDir dir;
    const QString base = u"127.0.0.1:%1"_s.arg(server.port());
    QStringList windowRecords;
    QStringList cronRecords;
    for (int i = 0; i < 40; ++i) {
        windowRecords += test::recordLine(base + u"/window" + QString::number(i), kLink);
        cronRecords += test::recordLine(base + u"/cron" + QString::number(i), kLink);
    }
    const QString list = dir.path(u"cron.qvp"_s);
    ASSERT_TRUE(writeRecordFile(list, cronRecords));
    const QString path = historyPath(dir);
    TForm1 form(dir.path(QString()));
    const test::Controls ui(&form);
    form.records()->setRecords(windowRecords);
    form.showAtStart();

    ui.ToolButton3->trigger();
    test::CliProcess cron({u"check"_s, u"--history"_s, path, list});
    ASSERT_TRUE(QTest::qWaitFor([&] { return form.checkRun().state() == CheckRun::State::Idle; }));
    const test::CliResult r = cron.finish(60000);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "") << "nothing about the history, least of all a locked database";
    EXPECT_EQ(r.out.count("\tFound\t"), 40);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return checksOf(path, identitiesOf(windowRecords)) == QList<qint64>(40, 1); },
        10000));
    EXPECT_EQ(checksOf(path, identitiesOf(cronRecords)), QList<qint64>(40, 1));
    EXPECT_EQ(test::queryNumber(path, "SELECT count(*) FROM runs"), 2);
    form.close();
}

// "проверить с JavaScript": offered for a page that loaded without the link,
// says which package it needs when the browser is not there, and with the
// browser records a check whose rendering found the link, which holds the
// record found.
TEST(WindowHistory, ALookWithJavaScript) {
    test::QuitCounter end;
    QStringList messages;
    test::ScopedHook<std::function<int(QDialog&)>> modal(
        &TForm1::setModalHookForTests, [&messages](QDialog& dialog) {
            if (auto* box = qobject_cast<QMessageBox*>(&dialog)) {
                messages += box->text();
            }
            return int(QDialog::Rejected);
        });
    RawServer server([](const RawServer::Connection& c) {
        if (test::requestTarget(c.request) == "/scripted") {
            c.send(test::httpResponse(
                "200 OK",
                "<html><body><div id=x></div><script>document.getElementById('x').innerHTML = "
                "'<a href=\"http://me.' + 'example.com/\">me</a>';</script></body></html>",
                "Content-Type: text/html\r\n"));
        } else {
            test::partnerPages()(c);
        }
    });
    test::TempDir dir;
    const QString base = u"127.0.0.1:%1"_s.arg(server.port());
    const QStringList records = {test::recordLine(base + u"/scripted", kLink),
                                 test::recordLine(base + u"/found", kLink)};
    TForm1 form(dir.path(QString()));
    const test::Controls ui(&form);
    form.records()->setRecords(records);
    form.showAtStart();
    auto* item = test::named<QAction>(&form, "RenderMenuItem");
    EXPECT_EQ(item->text(), u"проверить с JavaScript");
    const QList<QAction*> menu = ui.PopupMenu1->actions();
    EXPECT_EQ(menu.indexOf(item), menu.indexOf(test::named<QAction>(&form, "N4")) + 1);
    EXPECT_TRUE(menu.at(menu.indexOf(item) + 1)->isSeparator());
    const auto enabledAt = [&](int row) {
        ui.ListBox1->selectionModel()->setCurrentIndex(form.records()->index(row),
                                                       QItemSelectionModel::NoUpdate);
        form.PopupMenu1Popup();
        return item->isEnabled();
    };
    EXPECT_FALSE(enabledAt(0)) << "not checked yet";

    ui.ToolButton3->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return form.checkRun().state() == CheckRun::State::Idle; }));
    EXPECT_FALSE(enabledAt(1)) << "the link is there";
    ASSERT_TRUE(enabledAt(0));

    qputenv("QUORVEL_RENDER_BROWSER", "/nonexistent/chromium-headless-shell");
    item->trigger();
    qunsetenv("QUORVEL_RENDER_BROWSER");
    EXPECT_EQ(messages,
              QStringList{u"для проверки с JavaScript нужен пакет chromium-headless-shell"_s});

    if (!rendererAvailable({})) {
        form.close();
        GTEST_SKIP() << kHeadlessBrowserPackage << " is not installed: the look itself is untried";
    }
    const QString path = historyPath(dir);
    const RecordIdentity scripted = identityOf(records.at(0));
    ASSERT_TRUE(QTest::qWaitFor([&] { return checksOf(path, {scripted}) == QList<qint64>{1}; }));
    item->trigger();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return checksOf(path, {scripted}) == QList<qint64>{2}; }, 40000));
    EXPECT_EQ(ui.StatusPanel1->text(),
              u"проверить с JavaScript: ссылка есть только после выполнения JavaScript");
    const RecordSummary summary = summariesOf(path, {scripted}).value(0);
    EXPECT_EQ(summary.state, ConfirmedState::Found);
    EXPECT_TRUE(summary.renderedOnly);
    EXPECT_EQ(summary.lastSignals, QStringList{u"rendered-found"_s});
    form.close();
}

// A table's rows, each as its cells joined by " | ".
QStringList tableOf(const QTableWidget* table) {
    QStringList rows;
    for (int row = 0; row < table->rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < table->columnCount(); ++column) {
            cells += table->item(row, column) ? table->item(row, column)->text() : QString();
        }
        rows += cells.join(u" | ");
    }
    return rows;
}

// A window on a scratch directory whose modal dialogs the test answers: the
// busy dialog is run unless `cancelBusy`, the history window's text is kept.
class HistoryWindowTest : public ::testing::Test {
  protected:
    HistoryWindowTest()
        : modal(&TForm1::setModalHookForTests, [this](QDialog& dialog) {
              ++dialogs;
              if (auto* window = qobject_cast<HistoryWindow*>(&dialog)) {
                  titles += window->windowTitle();
                  shown += window->textView->toPlainText();
                  tables += tableOf(window->checksTable);
                  EXPECT_TRUE(window->textView->isReadOnly());
                  return int(QDialog::Accepted);
              }
              if (dialog.objectName() == u"BusyDialog" && !cancelBusy) {
                  return dialog.exec();  // until the history has been read
              }
              return int(QDialog::Rejected);
          }) {}

    void start(const QStringList& records) {
        ASSERT_TRUE(writeRecordFile(dir.path(u"data.qvp"_s), records));
        form = std::make_unique<TForm1>(dir.path(QString()));
        form->showAtStart();
        ui = std::make_unique<test::Controls>(form.get());
    }
    // The history window's text for the record in row `row`.
    QString historyOf(int row) {
        ui->ListBox1->selectionModel()->setCurrentIndex(form->records()->index(row),
                                                        QItemSelectionModel::NoUpdate);
        const qsizetype before = shown.size();
        named<QAction>("N4")->trigger();
        return shown.size() > before ? shown.last() : u"(nothing shown)"_s;
    }
    template <typename T>
    T* named(const char* name) const {
        return test::named<T>(form.get(), name);
    }

    test::QuitCounter quit;
    test::ScopedHook<std::function<int(QDialog&)>> modal;
    test::TempDir dir;
    bool cancelBusy = false;
    int dialogs = 0;
    QStringList titles;
    QStringList shown;
    QList<QStringList> tables;
    std::unique_ptr<TForm1> form;
    std::unique_ptr<test::Controls> ui;
};

// A local time of March 2024 as the history stores it.
qint64 march(int day, int hour, int minute) {
    return QDateTime(QDate(2024, 3, day), QTime(hour, minute)).toSecsSinceEpoch();
}

TEST_F(HistoryWindowTest, StateSinceLastFoundAndChangesNewestFirst) {
    const QString partner = u"http://partner.example.com/links.html"_s;
    start(
        {test::recordLine(partner, kLink), test::recordLine(u"http://new.example.com/"_s, kLink)});
    EXPECT_EQ(named<QAction>("N4")->text(), u"история проверок");
    EXPECT_EQ(ui->PopupMenu1->actions().indexOf(named<QAction>("N4")), 3) << "after N1, N3, N2";
    // The records' deadline (21.10.2010) had passed before any check: no news.
    EXPECT_EQ(historyOf(0), u"проверок еще не было") << "no history file yet";
    EXPECT_FALSE(QFileInfo::exists(historyPath(dir))) << "reading creates nothing";

    // Found, hidden by nofollow, then three failed loads: down.
    const RecordIdentity identity{partner, kLink};
    struct Run {
        int day;
        CheckStatus status;
        QString reason;
    };
    const Run runs[] = {{1, CheckStatus::Found, {}},
                        {2, CheckStatus::Hidden, u"nofollow"_s},
                        {3, CheckStatus::FetchFailed, u"http 503; timeout"_s},
                        {4, CheckStatus::FetchFailed, u"tls certificate has expired"_s},
                        {5, CheckStatus::FetchFailed, u"dns; connect"_s}};
    for (const Run& run : runs) {
        ASSERT_EQ(test::recordRun(
                      historyPath(dir), march(run.day, 10, 0),
                      {test::historyEntry(identity, run.status, march(run.day, 10, 5), run.reason)})
                      .written,
                  1);
    }
    EXPECT_EQ(
        historyOf(0).split(u'\n'),
        (QStringList{u"не удалось загрузить страницу партнера (адрес не найден (первый "
                     u"адрес); второй адрес: нет соединения) с 03.03.2024 10:00"_s,
                     u"ссылка последний раз найдена 02.03.2024 10:05"_s,
                     u"05.03.2024 10:05 — страница партнера не загружается (адрес не найден "
                     u"(первый адрес); второй адрес: нет соединения)"_s,
                     u"02.03.2024 10:05 — ссылка перестала индексироваться (rel=nofollow)"_s}));
    EXPECT_EQ(titles.last(), u"история проверок: "_s + partner);
    EXPECT_EQ(historyOf(1), u"проверок еще не было");

    // Cancelling the reading shows nothing.
    cancelBusy = true;
    EXPECT_EQ(historyOf(0), u"(nothing shown)");

    // With an empty list the item does nothing at all.
    const int before = dialogs;
    form->records()->setRecords({});
    named<QAction>("N4")->trigger();
    EXPECT_EQ(dialogs, before);
}

// The title names the record (a long address shortened in the middle), and
// a table of its kept checks, newest first, says which program made each.
TEST_F(HistoryWindowTest, TitleAndTheRecordsChecks) {
    const QString partner = u"http://partner.example.com/"_s + QString(100, u'x') + u"/end.html"_s;
    start({BuildRecordLine(partner, {}, {}, QDate(2010, 10, 21), u"mine.example.com"_s, u"5"_s,
                           kLink, {})});
    const RecordIdentity identity{partner, kLink};
    HistoryEntry first = test::historyEntry(identity, CheckStatus::Found, march(1, 10, 5));
    first.outcome.count = 12;
    first.outcome.overLimit = true;
    first.pageSignals = PageSignal::MetaNoindex | PageSignal::RelUgc | PageSignal::RobotsDisallow;
    first.robotsAgent = u"Yandex"_s;
    first.reciprocal = CheckStatus::Missing;
    first.external = 30;
    first.anchor = u"мой сайт"_s;
    ASSERT_EQ(test::recordRun(historyPath(dir), march(1, 10, 0), {first},
                              {.source = RunSource::CommandLine})
                  .written,
              1);
    ASSERT_EQ(test::recordRun(historyPath(dir), march(2, 10, 0),
                              {test::historyEntry(identity, CheckStatus::FetchFailed,
                                                  march(2, 10, 7), u"http 404; dns"_s)},
                              {.source = RunSource::Window})
                  .written,
              1);

    historyOf(0);
    ASSERT_EQ(titles.size(), 1);
    EXPECT_EQ(titles[0].size(), QStringView(u"история проверок: ").size() + 80);
    EXPECT_TRUE(titles[0].startsWith(u"история проверок: http://partner.example.com/xxx"_s));
    EXPECT_TRUE(titles[0].contains(u"xxx…xxx"_s));
    EXPECT_TRUE(titles[0].endsWith(u"x/end.html"_s));
    EXPECT_EQ(
        tables.value(0),
        (QStringList{
            u"02.03.2024 10:07:00 | не удалось загрузить страницу партнера | ответ сервера "
            u"404 (первый адрес); второй адрес: адрес не найден |  |  |  | окно программы |  | "_s,
            u"01.03.2024 10:05:00 | ссылка есть |  | 12 | meta robots noindex, rel=ugc, "
            u"robots.txt запрещает страницу для Yandex | нет | quorvel-cli | 30 | "
            u"мой сайт"_s}));
}

}  // namespace
}  // namespace quorvel
