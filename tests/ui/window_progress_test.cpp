#include <QComboBox>
#include <QTableView>
#include <QTest>

#include <gtest/gtest.h>

#include "history/history_support.h"
#include "records/record_file.h"
#include "support/printers.h"
#include "support/raw_server.h"
#include "support/temp_dir.h"
#include "ui/form1.h"
#include "ui/overview_window.h"
#include "ui/ui_helpers.h"

namespace quorvel {
namespace {

using namespace Qt::StringLiterals;
using test::RawServer;

const QString kLink = u"me.example.com"_s;

// The third panel of the status bar tells a run from its start to its
// summary; the Part's two panels keep their texts.
TEST(WindowProgress, ARunFromItsProgressToItsSummary) {
    test::QuitCounter quit;
    RawServer server([](const RawServer::Connection& c) {
        const QByteArray target = test::requestTarget(c.request);
        if (target.startsWith("/never")) {
            c.pause(60000);
        } else if (target.startsWith("/found")) {
            c.send(test::httpResponse("200 OK", "<a href=http://me.example.com/>me</a>"));
        } else if (target.startsWith("/hidden")) {
            c.send(
                test::httpResponse("200 OK", "<a href=http://me.example.com/ rel=nofollow>me</a>"));
        } else if (target == "/missing") {
            c.send(test::httpResponse("200 OK", "<p>no link</p>"));
        } else {
            c.send("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n");
        }
    });
    test::TempDir dir;
    const QString base = u"127.0.0.1:%1"_s.arg(server.port());
    // 21 pages that answer at once (so that the run can estimate), then ten
    // that never answer, so that the run is still under way.
    QStringList records;
    for (int i = 0; i < 21; ++i) {
        records += test::recordLine(base + (i % 3 == 0   ? u"/found?%1"_s
                                            : i % 3 == 1 ? u"/hidden?%1"_s
                                                         : u"/gone?%1"_s)
                                               .arg(i),
                                    kLink);
    }
    for (int i = 0; i < 10; ++i) {
        records += test::recordLine(base + u"/never?%1"_s.arg(i), kLink);
    }
    // The first record's link was found, then missed once: one more miss
    // confirms its loss, a change of this run.
    records[0] = test::recordLine(base + u"/missing"_s, kLink);
    const RecordIdentity lostNow = identityOf(records.at(0));
    const QString path = dir.path(QString::fromUtf16(kHistoryFileName));
    const qint64 before = QDateTime::currentSecsSinceEpoch() - 2 * 86'400;
    ASSERT_EQ(
        test::recordRun(path, before, {test::historyEntry(lostNow, CheckStatus::Found, before + 1)})
            .written,
        1);
    ASSERT_EQ(test::recordRun(path, before + 86'400,
                              {test::historyEntry(lostNow, CheckStatus::Missing, before + 86'401)})
                  .written,
              1);
    ASSERT_TRUE(writeRecordFile(dir.path(u"data.qvp"_s), records));
    TForm1 form(dir.path(QString()));
    form.showAtStart();
    const test::Controls ui(&form);
    auto* panel = test::named<QLabel>(&form, "StatusPanel2");
    EXPECT_EQ(panel->text(), u"") << "nothing to tell before a run";

    ui.ToolButton3->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.requests().size() >= 31; }));
    ASSERT_TRUE(QTest::qWaitFor([&] { return panel->text().startsWith(u"проверено 21 из 31"_s); }))
        << panel->text().toStdString();
    EXPECT_TRUE(panel->text().contains(u" · осталось около "_s)) << "after the first 20 records";
    EXPECT_TRUE(panel->text().endsWith(u" мин · нажмите кнопку проверки, чтобы остановить"_s))
        << panel->text().toStdString();
    EXPECT_EQ(ui.ToolButton3->property("hint").toString().left(44),
              u"проверить наличие ссылок на сайте партнеров:")
        << "the button's hint stays";

    ui.ToolButton3->trigger();  // stop: the ten downloads still wait
    EXPECT_EQ(panel->text(), u"остановка: ждем окончания 10 загрузок");
    ui.ToolButton3->trigger();  // and cut them off
    ASSERT_TRUE(QTest::qWaitFor([&] { return form.checkRun().state() == CheckRun::State::Idle; }));
    // The missing page, 6 found and 7 hidden, 7 gone; then the history says
    // what moved: the first record's link is lost.
    ASSERT_TRUE(QTest::qWaitFor([&] { return panel->text().contains(u"изменились"_s); }, 10000))
        << panel->text().toStdString();
    EXPECT_EQ(panel->text(), u"итог: есть 6 · скрыты 7 · нет 1 · недоступны 7 · изменились 1");
    EXPECT_EQ(ui.StatusPanel0->text(), u" всего элементов: 31");

    // A click shows what changed.
    QTest::mouseClick(panel, Qt::LeftButton);
    auto* window = test::named<OverviewWindow>(&form, "OverviewWindow");
    ASSERT_TRUE(window);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->upToDate(); }));
    EXPECT_EQ(test::named<QComboBox>(window, "OverviewFilter")->currentText(),
              u"изменились за последнюю проверку");
    const QAbstractItemModel* table = test::named<QTableView>(window, "OverviewTable")->model();
    ASSERT_EQ(table->rowCount(), 1);
    EXPECT_EQ(table->index(0, 0).data().toString(), u"1");
    EXPECT_EQ(table->index(0, 1).data().toString(), u"ссылки нет");
    form.close();
}

}  // namespace
}  // namespace quorvel
