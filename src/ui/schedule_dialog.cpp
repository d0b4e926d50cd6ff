#include "ui/schedule_dialog.h"

#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QVBoxLayout>

#include "history/history_reader.h"
#include "notify/channels.h"
#include "ui/background_work.h"
#include "ui/window_words.h"

namespace quorvel {

using namespace Qt::StringLiterals;

namespace {

constexpr int kPeriods[] = {1, 2, 3, 4, 6, 8, 12};

template <typename T>
T* named(T* widget, const char* name) {
    widget->setObjectName(QLatin1StringView(name));
    return widget;
}

QLineEdit* field(QWidget* parent, const char* name, bool secret = false) {
    auto* edit = named(new QLineEdit(parent), name);
    if (secret) {
        edit->setEchoMode(QLineEdit::Password);
    }
    return edit;
}

}  // namespace

ScheduleDialog::ScheduleDialog(QWidget* parent, ScheduleDialogPaths paths, FetchSettings fetch)
    : QDialog(parent),
      paths_(std::move(paths)),
      fetch_(std::move(fetch)),
      historyWork_(std::make_unique<BackgroundWork>(this)),
      sendWork_(std::make_unique<BackgroundWork>(this)),
      schedulerWork_(std::make_unique<BackgroundWork>(this)) {
    const ScheduleWords& words = scheduleWords();
    setObjectName(u"ScheduleDialog"_s);
    setWindowTitle(words.title);
    auto* layout = new QVBoxLayout(this);

    auto* note = named(new QLabel(this), "ScheduleNote");
    note->setWordWrap(true);
    note->setTextFormat(Qt::PlainText);
    note->setText(words.note.arg(QFileInfo(paths_.listFile).fileName()));
    layout->addWidget(note);

    auto* when = new QGridLayout;
    dailyChoice_ = named(new QRadioButton(words.daily, this), "DailyChoice");
    dailyTime_ = named(new QTimeEdit(QTime(7, 0), this), "DailyTime");
    dailyTime_->setDisplayFormat(u"HH:mm"_s);
    hoursChoice_ = named(new QRadioButton(words.every, this), "HoursChoice");
    hoursBox_ = named(new QComboBox(this), "HoursBox");
    for (const int hours : kPeriods) {
        hoursBox_->addItem(QString::number(hours), hours);
    }
    hoursBox_->setCurrentIndex(4);  // 6
    dailyChoice_->setChecked(true);
    when->addWidget(dailyChoice_, 0, 0);
    when->addWidget(dailyTime_, 0, 1);
    when->addWidget(hoursChoice_, 1, 0);
    when->addWidget(hoursBox_, 1, 1);
    when->addWidget(new QLabel(words.hours, this), 1, 2);
    when->setColumnStretch(3, 1);
    layout->addLayout(when);

    stateLabel_ = named(new QLabel(this), "ScheduleState");
    stateLabel_->setTextFormat(Qt::PlainText);
    stateLabel_->setWordWrap(true);
    layout->addWidget(stateLabel_);
    lastRunLabel_ = named(new QLabel(this), "LastScheduledCheck");
    lastRunLabel_->setTextFormat(Qt::PlainText);
    lastRunLabel_->setWordWrap(true);
    layout->addWidget(lastRunLabel_);

    auto* telegram = new QGroupBox(words.telegram, this);
    auto* telegramForm = new QFormLayout(telegram);
    telegramToken_ = field(telegram, "TelegramToken", true);
    telegramChat_ = field(telegram, "TelegramChat");
    telegramForm->addRow(words.botToken, telegramToken_);
    telegramForm->addRow(words.chat, telegramChat_);
    layout->addWidget(telegram);

    auto* mail = new QGroupBox(words.mail, this);
    auto* mailForm = new QFormLayout(mail);
    mailUrl_ = field(mail, "MailUrl");
    mailUrl_->setPlaceholderText(words.mailServerExample);
    mailUser_ = field(mail, "MailUser");
    mailPassword_ = field(mail, "MailPassword", true);
    mailFrom_ = field(mail, "MailFrom");
    mailTo_ = field(mail, "MailTo");
    mailForm->addRow(words.mailServer, mailUrl_);
    mailForm->addRow(words.user, mailUser_);
    mailForm->addRow(words.password, mailPassword_);
    mailForm->addRow(words.mailFrom, mailFrom_);
    mailForm->addRow(words.mailTo, mailTo_);
    layout->addWidget(mail);

    auto* hook = new QGroupBox(words.webhook, this);
    auto* hookForm = new QFormLayout(hook);
    webhookUrl_ = field(hook, "WebhookUrl");
    webhookSecret_ = field(hook, "WebhookSecret", true);
    hookForm->addRow(words.address, webhookUrl_);
    hookForm->addRow(words.secret, webhookSecret_);
    layout->addWidget(hook);

    messages_ = named(new QPlainTextEdit(this), "ScheduleMessages");
    messages_->setReadOnly(true);
    messages_->setMaximumHeight(90);
    layout->addWidget(messages_);

    auto* buttons = new QDialogButtonBox(this);
    testButton_ =
        named(buttons->addButton(words.testSend, QDialogButtonBox::ActionRole), "TestSendButton");
    enableButton_ =
        named(buttons->addButton(words.enable, QDialogButtonBox::ActionRole), "EnableButton");
    disableButton_ =
        named(buttons->addButton(words.disable, QDialogButtonBox::ActionRole), "DisableButton");
    named(buttons->addButton(words.close, QDialogButtonBox::RejectRole), "CloseButton");
    for (QPushButton* button : {testButton_, enableButton_, disableButton_}) {
        button->setAutoDefault(false);
    }
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(testButton_, &QPushButton::clicked, this, [this] { testSend(); });
    connect(enableButton_, &QPushButton::clicked, this, [this] { enable(); });
    connect(disableButton_, &QPushButton::clicked, this, [this] { disable(); });
    layout->addWidget(buttons);

    load();
    showState();
    showLastRun();
}

ScheduleDialog::~ScheduleDialog() = default;

NotifySettings ScheduleDialog::settings() const {
    NotifySettings s;
    s.telegram = {telegramToken_->text().trimmed(), telegramChat_->text().trimmed()};
    s.mail.url = mailUrl_->text().trimmed();
    s.mail.user = mailUser_->text().trimmed();
    s.mail.password = mailPassword_->text();
    s.mail.from = mailFrom_->text().trimmed();
    for (const QString& to : mailTo_->text().split(u',', Qt::SkipEmptyParts)) {
        if (!to.trimmed().isEmpty()) {
            s.mail.to += to.trimmed();
        }
    }
    s.webhook = {webhookUrl_->text().trimmed(), webhookSecret_->text()};
    return s;
}

void ScheduleDialog::load() {
    const Outcome<NotifySettings> read = readNotifySettingsForEditing(paths_.notifyConfig);
    if (!read) {
        say(scheduleWords().settingsUnreadable + read.error);
        return;
    }
    const NotifySettings& s = read.value;
    telegramToken_->setText(s.telegram.token);
    telegramChat_->setText(s.telegram.chat);
    mailUrl_->setText(s.mail.url);
    mailUser_->setText(s.mail.user);
    mailPassword_->setText(s.mail.password);
    mailFrom_->setText(s.mail.from);
    mailTo_->setText(s.mail.to.join(u", "));
    webhookUrl_->setText(s.webhook.url);
    webhookSecret_->setText(s.webhook.secret);
}

void ScheduleDialog::showState() {
    const ScheduleWords& words = scheduleWords();
    const QString name = scheduleName(paths_.listFile);
    for (const InstalledSchedule& installed : installedSchedules()) {
        if (installed.name != name) {
            continue;
        }
        const ScheduleRequest& r = installed.request;
        if (r.dailyAt) {
            dailyChoice_->setChecked(true);
            dailyTime_->setTime(*r.dailyAt);
        } else {
            hoursChoice_->setChecked(true);
            hoursBox_->setCurrentIndex(std::max(0, hoursBox_->findData(r.everyHours)));
        }
        stateLabel_->setText(
            words.enabled + whenWords(r) + (r.notify ? words.withNotices : words.withoutNotices) +
            words.nextCheck +
            nextScheduledRun(r, QDateTime::currentDateTime()).toString(u"dd.MM.yyyy HH:mm"));
        disableButton_->setEnabled(true);
        return;
    }
    stateLabel_->setText(words.disabled);
    disableButton_->setEnabled(false);
}

void ScheduleDialog::showLastRun() {
    lastRunLabel_->setText(scheduleWords().readingHistory);
    const QString path = paths_.historyPath;
    historyWork_->post([this, path](const std::atomic<bool>&) -> BackgroundWork::Done {
        HistoryReader reader(path);
        const Outcome<std::optional<LatestRun>> latest = reader.latestRun(RunSource::Schedule);
        return [this, latest] {
            if (!latest.ok()) {
                lastRunLabel_->setText(kHistoryUnreadableText);
            } else if (!latest.value) {
                lastRunLabel_->setText(scheduleWords().noScheduledCheck);
            } else {
                const ScheduleWords& words = scheduleWords();
                const LatestRun& run = *latest.value;
                lastRunLabel_->setText(
                    words.lastScheduledCheck +
                    run.tally.startedAt.toLocalTime().toString(u"dd.MM.yyyy HH:mm") + words.dash +
                    tallyWords(run.tally.byStatus) + words.changedRecords +
                    QString::number(run.changed));
            }
        };
    });
}

QString ScheduleDialog::fieldProblem() const {
    return notifyProblemWords(checkNotifySettings(settings()));
}

void ScheduleDialog::say(const QString& text) {
    messages_->setPlainText(text);
}

void ScheduleDialog::enable() {
    if (const QString problem = fieldProblem(); !problem.isEmpty()) {
        say(problem);
        return;
    }
    if (paths_.program.isEmpty()) {
        say(scheduleWords().noProgram);
        return;
    }
    const NotifySettings s = settings();
    ScheduleRequest request;
    request.listFile = paths_.listFile;
    request.program = paths_.program;
    request.notify = s.namesAnyChannel();
    if (dailyChoice_->isChecked()) {
        request.dailyAt = QTime(dailyTime_->time().hour(), dailyTime_->time().minute());
    } else {
        request.everyHours = hoursBox_->currentData().toInt();
    }
    if (request.notify) {
        if (const Outcome<> written = writeNotifySettings(paths_.notifyConfig, s); !written) {
            say(scheduleWords().settingsUnwritten + written.error);
            return;
        }
        if (paths_.notifyConfig != defaultNotifyConfigPath()) {
            request.notifyConfig = paths_.notifyConfig;
        }
    }
    runScheduler([request] { return installSchedule(request); },
                 [this, request](const ScheduleOutcome& outcome) {
                     const ScheduleWords& words = scheduleWords();
                     switch (outcome.result) {
                         case ScheduleOutcome::Result::Done:
                             say(words.enabled + whenWords(request) +
                                 (outcome.lingerAdvice ? words.lingerAdvice : u"."_s));
                             break;
                         case ScheduleOutcome::Result::NoUserSystemd:
                             say(words.noUserSystemdEnable + outcome.crontab);
                             break;
                         case ScheduleOutcome::Result::Failed:
                             say(words.enableFailed + outcome.message + u')');
                             break;
                     }
                 });
}

void ScheduleDialog::disable() {
    runScheduler([listFile = paths_.listFile] { return removeSchedule(listFile); },
                 [this](const ScheduleOutcome& outcome) {
                     const ScheduleWords& words = scheduleWords();
                     switch (outcome.result) {
                         case ScheduleOutcome::Result::Done:
                             say(words.disabled);
                             break;
                         case ScheduleOutcome::Result::NoUserSystemd:
                             say(words.noUserSystemdDisable.arg(paths_.listFile));
                             break;
                         case ScheduleOutcome::Result::Failed:
                             say(words.disableFailed + outcome.message + u')');
                             break;
                     }
                 });
}

void ScheduleDialog::runScheduler(std::function<ScheduleOutcome()> tool,
                                  std::function<void(const ScheduleOutcome&)> shown) {
    // systemctl or schtasks may take seconds, up to their time limit.
    enableButton_->setEnabled(false);
    disableButton_->setEnabled(false);
    schedulerWork_->post([this, tool = std::move(tool), shown = std::move(shown)](
                             const std::atomic<bool>&) -> BackgroundWork::Done {
        const ScheduleOutcome outcome = tool();
        return [this, outcome, shown] {
            shown(outcome);
            enableButton_->setEnabled(true);
            showState();
        };
    });
}

void ScheduleDialog::testSend() {
    if (const QString problem = fieldProblem(); !problem.isEmpty()) {
        say(problem);
        return;
    }
    const NotifySettings s = settings();
    if (!s.namesAnyChannel()) {
        say(scheduleWords().noChannel);
        return;
    }
    testButton_->setEnabled(false);
    say(scheduleWords().sending);
    const FetchSettings fetch = fetch_;
    sendWork_->post([this, s, fetch](const std::atomic<bool>&) -> BackgroundWork::Done {
        QStringList lines;
        const Notice notice = testNotice(QDateTime::currentDateTime());
        for (const NoticeChannel channel : channelsOf(s)) {
            const DeliveryAnswer answer = deliverNotice(channel, s, notice, fetch);
            const ScheduleWords& words = scheduleWords();
            const QString said = answer.accepted ? QString(words.accepted + answer.answer + u')')
                                                 : QString(words.notAccepted + answer.answer);
            lines += channelWords(channel) + said;
        }
        return [this, lines] {
            say(lines.join(u'\n'));
            testButton_->setEnabled(true);
        };
    });
}

}  // namespace quorvel
