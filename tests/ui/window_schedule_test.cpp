#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QToolBar>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include "history/history_support.h"
#include "notify/notice_servers.h"
#include "records/record_file.h"
#include "support/printers.h"
#include "support/temp_dir.h"
#include "ui/form1.h"
#include "ui/schedule_dialog.h"
#include "ui/ui_helpers.h"

namespace quorvel {
namespace {

using namespace Qt::StringLiterals;
using test::NoticeHttpServer;

// A window on a scratch directory, with its own XDG_CONFIG_HOME and a
// stand-in for systemctl that notes its calls and starts nothing; the
// schedule dialog goes to `onSchedule`.
class WindowSchedule : public ::testing::Test {
  protected:
    WindowSchedule()
        : modal(&TForm1::setModalHookForTests,
                [this](QDialog& dialog) {
                    if (auto* schedule = qobject_cast<ScheduleDialog*>(&dialog)) {
                        return onSchedule ? onSchedule(*schedule) : int(QDialog::Rejected);
                    }
                    return int(QDialog::Rejected);
                }),
          cli(&TForm1::setCliProgramForTests, QStringLiteral(QUORVEL_CLI_PATH)) {
        dir.write(u"systemctl"_s, "#!/bin/sh\necho \"$@\" >> '" +
                                      dir.path(u"systemctl.log"_s).toUtf8() +
                                      "'\n[ \"$2\" = is-active ] && echo active\nexit 0\n");
        QFile::setPermissions(dir.path(u"systemctl"_s),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("QUORVEL_SYSTEMCTL", dir.path(u"systemctl"_s).toUtf8());
        qputenv("XDG_CONFIG_HOME", dir.path(u"config"_s).toUtf8());
        QDir().mkpath(dir.path(u"list"_s));
        EXPECT_TRUE(writeRecordFile(dir.path(u"list/data.qvp"_s), {test::recordLine(u"a.test"_s)}));
    }
    ~WindowSchedule() override {
        qunsetenv("QUORVEL_SYSTEMCTL");
        qputenv("XDG_CONFIG_HOME", savedConfigHome);
    }
    void start() {
        form = std::make_unique<TForm1>(dir.path(u"list"_s));
        FetchSettings fetch;
        fetch.resolve = QStringList{u"api.telegram.org:443:127.0.0.1"_s};
        fetch.caFile = test::noticeCaFile();
        form->setFetchSettingsForTests(fetch);
        form->showAtStart();
    }
    QStringList units() const {
        return QDir(dir.path(u"config/systemd/user"_s)).entryList(QDir::Files, QDir::Name);
    }
    template <typename T>
    static T* in(const QObject* root, const char* name) {
        return test::named<T>(root, name);
    }
    static QString said(const ScheduleDialog& dialog) {
        return in<QPlainTextEdit>(&dialog, "ScheduleMessages")->toPlainText();
    }
    // Waits until the scheduler tool, run off the UI thread, has answered:
    // the button that switches the schedule on is back.
    static bool schedulerDone(const ScheduleDialog& dialog) {
        return QTest::qWaitFor(
            [&] { return in<QPushButton>(&dialog, "EnableButton")->isEnabled(); }, 30000);
    }

    QByteArray savedConfigHome = qgetenv("XDG_CONFIG_HOME");
    test::QuitCounter quit;
    test::ScopedHook<std::function<int(QDialog&)>> modal;
    test::ScopedHook<QString> cli;
    test::TempDir dir;
    std::function<int(ScheduleDialog&)> onSchedule;
    std::unique_ptr<TForm1> form;
};

TEST_F(WindowSchedule, ButtonSitsLastAndOpensTheDialog) {
    start();
    const QList<QAction*> bar = test::named<QToolBar>(form.get(), "ToolBar1")->actions();
    EXPECT_EQ(bar.indexOf(in<QAction>(form.get(), "ScheduleButton")),
              bar.indexOf(in<QAction>(form.get(), "ExportButton")) + 1);
    EXPECT_EQ(bar.last(), in<QAction>(form.get(), "ScheduleButton"));
    bool opened = false;
    onSchedule = [&](ScheduleDialog& dialog) -> int {
        opened = true;
        EXPECT_EQ(dialog.windowTitle(), u"расписание проверок");
        EXPECT_TRUE(in<QLabel>(&dialog, "ScheduleNote")
                        ->text()
                        .startsWith(u"Проверки по расписанию идут и тогда, когда окно программы "
                                    u"закрыто"));
        EXPECT_EQ(in<QLabel>(&dialog, "ScheduleState")->text(), u"расписание выключено");
        EXPECT_TRUE(QTest::qWaitFor([&] {
            return in<QLabel>(&dialog, "LastScheduledCheck")->text() ==
                   u"проверок по расписанию еще не было";
        }));
        return int(QDialog::Rejected);
    };
    in<QAction>(form.get(), "ScheduleButton")->trigger();
    EXPECT_TRUE(opened);
}

// The user fills in a channel, tries it, switches the schedule on and off.
TEST_F(WindowSchedule, TestSendThenOnAndOff) {
    NoticeHttpServer telegram(NoticeHttpServer::Kind::Https443);
    start();
    onSchedule = [&](ScheduleDialog& dialog) -> int {
        in<QLineEdit>(&dialog, "WebhookUrl")->setText(u"ftp://hooks.test/"_s);
        in<QPushButton>(&dialog, "EnableButton")->click();
        EXPECT_EQ(said(dialog), u"адрес webhook должен начинаться с https:// или http://");
        EXPECT_TRUE(units().isEmpty());
        in<QLineEdit>(&dialog, "WebhookUrl")->clear();

        in<QLineEdit>(&dialog, "TelegramToken")->setText(u"42:sec;ret"_s);
        in<QPushButton>(&dialog, "TestSendButton")->click();
        EXPECT_EQ(said(dialog), u"для Telegram нужны и токен бота, и чат");
        in<QLineEdit>(&dialog, "TelegramChat")->setText(u"@links"_s);
        in<QPushButton>(&dialog, "TestSendButton")->click();
        EXPECT_TRUE(said(dialog).startsWith(u"токен бота Telegram может содержать"))
            << said(dialog).toStdString();
        in<QLineEdit>(&dialog, "TelegramToken")->setText(u"42:secret-token"_s);
        in<QPushButton>(&dialog, "TestSendButton")->click();
        EXPECT_TRUE(QTest::qWaitFor([&] { return !said(dialog).endsWith(u'…'); }, 30000));
        EXPECT_EQ(said(dialog), u"Telegram: принято (HTTP 200)"_s);
        EXPECT_EQ(telegram.requests().size(), 1);

        in<QRadioButton>(&dialog, "HoursChoice")->setChecked(true);
        auto* hours = in<QComboBox>(&dialog, "HoursBox");
        hours->setCurrentIndex(hours->findText(u"8"_s));
        auto* enable = in<QPushButton>(&dialog, "EnableButton");
        enable->click();
        EXPECT_FALSE(enable->isEnabled()) << "systemctl runs off the UI thread";
        EXPECT_TRUE(schedulerDone(dialog));
        EXPECT_TRUE(said(dialog).startsWith(u"расписание включено: каждые 8 часов"))
            << said(dialog).toStdString();
        EXPECT_TRUE(in<QLabel>(&dialog, "ScheduleState")
                        ->text()
                        .startsWith(u"расписание включено: каждые 8 часов, с уведомлениями; "
                                    u"следующая проверка "));
        EXPECT_EQ(units().size(), 2);
        const QString ini = dir.path(u"config/quorvel/notify.ini"_s);
        struct stat st {};
        EXPECT_EQ(::stat(QFile::encodeName(ini).constData(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u);
        const Outcome<NotifySettings> read = readNotifySettings(ini);
        EXPECT_EQ(read.value.telegram.chat, u"@links"_s) << read.error.toStdString();

        in<QPushButton>(&dialog, "DisableButton")->click();
        EXPECT_FALSE(enable->isEnabled());
        EXPECT_TRUE(schedulerDone(dialog));
        EXPECT_EQ(said(dialog), u"расписание выключено");
        EXPECT_EQ(in<QLabel>(&dialog, "ScheduleState")->text(), u"расписание выключено");
        EXPECT_TRUE(units().isEmpty());
        return int(QDialog::Rejected);
    };
    in<QAction>(form.get(), "ScheduleButton")->trigger();
    const QByteArray calls = dir.read(u"systemctl.log"_s);
    EXPECT_TRUE(calls.contains("--user enable --now quorvel-check-data-")) << calls.constData();
    EXPECT_TRUE(calls.contains("--user disable --now quorvel-check-data-")) << calls.constData();

    // The next time the dialog shows what is kept.
    onSchedule = [&](ScheduleDialog& dialog) -> int {
        EXPECT_EQ(in<QLineEdit>(&dialog, "TelegramToken")->text(), u"42:secret-token");
        EXPECT_EQ(in<QLineEdit>(&dialog, "TelegramToken")->echoMode(), QLineEdit::Password);
        return int(QDialog::Rejected);
    };
    in<QAction>(form.get(), "ScheduleButton")->trigger();
}

TEST_F(WindowSchedule, TellsTheLastScheduledCheck) {
    const QString history = dir.path(u"list/quorvel-history.sqlite"_s);
    const RecordIdentity a{u"a.test"_s, u"me.example.com"_s};
    const RecordIdentity b{u"b.test"_s, u"me.example.com"_s};
    HistoryRecorderOptions scheduled;
    scheduled.source = RunSource::Schedule;
    test::recordRun(history, 1'765'400'000,
                    {test::historyEntry(a, CheckStatus::Found, 1'765'400'010),
                     test::historyEntry(b, CheckStatus::Missing, 1'765'400'020)},
                    scheduled);
    HistoryRecorderOptions window;
    window.source = RunSource::Window;
    test::recordRun(history, 1'765'500'000,
                    {test::historyEntry(a, CheckStatus::Missing, 1'765'500'010)}, window);
    start();
    onSchedule = [&](ScheduleDialog& dialog) -> int {
        auto* last = in<QLabel>(&dialog, "LastScheduledCheck");
        EXPECT_TRUE(QTest::qWaitFor([&] { return !last->text().endsWith(u'…'); }));
        EXPECT_EQ(last->text(),
                  u"последняя проверка по расписанию: "_s +
                      historyTime(1'765'400'000).toLocalTime().toString(u"dd.MM.yyyy HH:mm") +
                      u" — есть 1 · скрыты 0 · нет 1 · недоступны 0 · изменились 0"_s);
        return int(QDialog::Rejected);
    };
    in<QAction>(form.get(), "ScheduleButton")->trigger();
}

}  // namespace
}  // namespace quorvel
