#include "ui/schedule_dialog.h"

#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QVBoxLayout>

#include "history/history_reader.h"
#include "history/history_words.h"
#include "notify/channels.h"
#include "ui/background_work.h"

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

QString whenWords(const ScheduleRequest& r) {
    if (r.dailyAt) {
        return u"каждый день в "_s + r.dailyAt->toString(u"HH:mm");
    }
    if (r.everyHours == 1) {
        return u"каждый час"_s;
    }
    // 2, 3 and 4 take "часа"; 6, 8 and 12 "часов".
    return u"каждые %1 %2"_s.arg(r.everyHours).arg(r.everyHours <= 4 ? u"часа"_s : u"часов"_s);
}

QString channelWords(NoticeChannel channel) {
    switch (channel) {
        case NoticeChannel::Telegram:
            return u"Telegram"_s;
        case NoticeChannel::Mail:
            return u"почта"_s;
        case NoticeChannel::Webhook:
            break;
    }
    return u"webhook"_s;
}

}  // namespace

QString notifyProblemWords(const NotifyProblem& problem) {
    using Kind = NotifyProblem::Kind;
    switch (problem.kind) {
        case Kind::None:
            break;
        case Kind::TelegramIncomplete:
            return u"для Telegram нужны и токен бота, и чат"_s;
        case Kind::TelegramToken:
            return u"токен бота Telegram может содержать только цифры, латинские буквы, «:», «_» "
                   u"и «-»"_s;
        case Kind::TelegramChat:
            return u"в поле чата Telegram не должно быть переводов строки"_s;
        case Kind::MailUrl:
            return u"адрес почтового сервера должен начинаться с smtps:// или smtp://"_s;
        case Kind::MailFrom:
            return u"в поле «от кого» должен быть один адрес электронной почты"_s;
        case Kind::MailNoRecipient:
            return u"не указано, кому отправлять письма"_s;
        case Kind::MailRecipient:
            return u"«"_s + problem.detail + u"» — не адрес электронной почты"_s;
        case Kind::MailPasswordWithoutUser:
            return u"указан пароль почты, но не указан пользователь"_s;
        case Kind::WebhookUrl:
            return u"адрес webhook должен начинаться с https:// или http://"_s;
    }
    return QString();
}

ScheduleDialog::ScheduleDialog(QWidget* parent, ScheduleDialogPaths paths, FetchSettings fetch)
    : QDialog(parent),
      paths_(std::move(paths)),
      fetch_(std::move(fetch)),
      historyWork_(std::make_unique<BackgroundWork>(this)),
      sendWork_(std::make_unique<BackgroundWork>(this)),
      schedulerWork_(std::make_unique<BackgroundWork>(this)) {
    setObjectName(u"ScheduleDialog"_s);
    setWindowTitle(u"расписание проверок"_s);
    auto* layout = new QVBoxLayout(this);

    auto* note = named(new QLabel(this), "ScheduleNote");
    note->setWordWrap(true);
    note->setTextFormat(Qt::PlainText);
    note->setText(
        u"Проверки по расписанию идут и тогда, когда окно программы закрыто: их запускает "
        u"система. Проверяется список из файла «"_s +
        QFileInfo(paths_.listFile).fileName() +
        u"» в том виде, в каком окно сохранило его при последнем закрытии. Если указан хотя бы "
        u"один канал, изменения после проверки придут туда."_s);
    layout->addWidget(note);

    auto* when = new QGridLayout;
    dailyChoice_ = named(new QRadioButton(u"проверять ежедневно в"_s, this), "DailyChoice");
    dailyTime_ = named(new QTimeEdit(QTime(7, 0), this), "DailyTime");
    dailyTime_->setDisplayFormat(u"HH:mm"_s);
    hoursChoice_ = named(new QRadioButton(u"каждые"_s, this), "HoursChoice");
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
    when->addWidget(new QLabel(u"часов"_s, this), 1, 2);
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

    auto* telegram = new QGroupBox(u"Telegram"_s, this);
    auto* telegramForm = new QFormLayout(telegram);
    telegramToken_ = field(telegram, "TelegramToken", true);
    telegramChat_ = field(telegram, "TelegramChat");
    telegramForm->addRow(u"токен бота"_s, telegramToken_);
    telegramForm->addRow(u"чат (номер или @канал)"_s, telegramChat_);
    layout->addWidget(telegram);

    auto* mail = new QGroupBox(u"электронная почта"_s, this);
    auto* mailForm = new QFormLayout(mail);
    mailUrl_ = field(mail, "MailUrl");
    mailUrl_->setPlaceholderText(u"smtps://smtp.example.org:465"_s);
    mailUser_ = field(mail, "MailUser");
    mailPassword_ = field(mail, "MailPassword", true);
    mailFrom_ = field(mail, "MailFrom");
    mailTo_ = field(mail, "MailTo");
    mailForm->addRow(u"сервер (smtps:// или smtp://)"_s, mailUrl_);
    mailForm->addRow(u"пользователь"_s, mailUser_);
    mailForm->addRow(u"пароль"_s, mailPassword_);
    mailForm->addRow(u"от кого"_s, mailFrom_);
    mailForm->addRow(u"кому (через запятую)"_s, mailTo_);
    layout->addWidget(mail);

    auto* hook = new QGroupBox(u"webhook"_s, this);
    auto* hookForm = new QFormLayout(hook);
    webhookUrl_ = field(hook, "WebhookUrl");
    webhookSecret_ = field(hook, "WebhookSecret", true);
    hookForm->addRow(u"адрес"_s, webhookUrl_);
    hookForm->addRow(u"секрет для подписи (необязательно)"_s, webhookSecret_);
    layout->addWidget(hook);

    messages_ = named(new QPlainTextEdit(this), "ScheduleMessages");
    messages_->setReadOnly(true);
    messages_->setMaximumHeight(90);
    layout->addWidget(messages_);

    auto* buttons = new QDialogButtonBox(this);
    testButton_ = named(buttons->addButton(u"проверить отправку"_s, QDialogButtonBox::ActionRole),
                        "TestSendButton");
    enableButton_ =
        named(buttons->addButton(u"включить"_s, QDialogButtonBox::ActionRole), "EnableButton");
    disableButton_ =
        named(buttons->addButton(u"выключить"_s, QDialogButtonBox::ActionRole), "DisableButton");
    named(buttons->addButton(u"закрыть"_s, QDialogButtonBox::RejectRole), "CloseButton");
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
        say(u"не удалось прочитать настройки уведомлений: "_s + read.error);
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
            u"расписание включено: "_s + whenWords(r) +
            (r.notify ? u", с уведомлениями"_s : u", без уведомлений"_s) +
            u"; следующая проверка "_s +
            nextScheduledRun(r, QDateTime::currentDateTime()).toString(u"dd.MM.yyyy HH:mm"));
        disableButton_->setEnabled(true);
        return;
    }
    stateLabel_->setText(u"расписание выключено"_s);
    disableButton_->setEnabled(false);
}

void ScheduleDialog::showLastRun() {
    lastRunLabel_->setText(u"читается история проверок…"_s);
    const QString path = paths_.historyPath;
    historyWork_->post([this, path](const std::atomic<bool>&) -> BackgroundWork::Done {
        HistoryReader reader(path);
        const Outcome<std::optional<LatestRun>> latest = reader.latestRun(RunSource::Schedule);
        return [this, latest] {
            if (!latest.ok()) {
                lastRunLabel_->setText(kHistoryUnreadableText);
            } else if (!latest.value) {
                lastRunLabel_->setText(u"проверок по расписанию еще не было"_s);
            } else {
                const LatestRun& run = *latest.value;
                lastRunLabel_->setText(
                    u"последняя проверка по расписанию: "_s +
                    run.tally.startedAt.toLocalTime().toString(u"dd.MM.yyyy HH:mm") + u" — "_s +
                    tallyWords(run.tally.byStatus) + u" · изменились "_s +
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
        say(u"не найдена программа quorvel-cli, которая выполняет проверки по расписанию"_s);
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
            say(u"не удалось сохранить настройки уведомлений: "_s + written.error);
            return;
        }
        if (paths_.notifyConfig != defaultNotifyConfigPath()) {
            request.notifyConfig = paths_.notifyConfig;
        }
    }
    runScheduler([request] { return installSchedule(request); },
                 [this, request](const ScheduleOutcome& outcome) {
                     switch (outcome.result) {
                         case ScheduleOutcome::Result::Done:
                             say(u"расписание включено: "_s + whenWords(request) +
                                 (outcome.lingerAdvice
                                      ? u".\nСейчас проверки идут, только пока вы вошли в систему. "
                                        u"Чтобы они шли всегда, выполните в терминале: loginctl "
                                        u"enable-linger"_s
                                      : u"."_s));
                             break;
                         case ScheduleOutcome::Result::NoUserSystemd:
                             say(u"В системе нет systemd пользователя, расписание не включено. "
                                 u"Добавьте в crontab (команда crontab -e) строку:\n"_s +
                                 outcome.crontab);
                             break;
                         case ScheduleOutcome::Result::Failed:
                             say(u"не удалось включить расписание ("_s + outcome.message + u')');
                             break;
                     }
                 });
}

void ScheduleDialog::disable() {
    runScheduler([listFile = paths_.listFile] { return removeSchedule(listFile); },
                 [this](const ScheduleOutcome& outcome) {
                     switch (outcome.result) {
                         case ScheduleOutcome::Result::Done:
                             say(u"расписание выключено"_s);
                             break;
                         case ScheduleOutcome::Result::NoUserSystemd:
                             say(u"В системе нет systemd пользователя: уберите из crontab "
                                 u"(команда crontab -e) строку, которая проверяет «"_s +
                                 paths_.listFile + u"»."_s);
                             break;
                         case ScheduleOutcome::Result::Failed:
                             say(u"не удалось выключить расписание ("_s + outcome.message + u')');
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
        say(u"не указан ни один канал: Telegram, почта или webhook"_s);
        return;
    }
    testButton_->setEnabled(false);
    say(u"отправка проверочного сообщения…"_s);
    const FetchSettings fetch = fetch_;
    sendWork_->post([this, s, fetch](const std::atomic<bool>&) -> BackgroundWork::Done {
        QStringList lines;
        const Notice notice = testNotice(QDateTime::currentDateTime());
        for (const NoticeChannel channel : channelsOf(s)) {
            const DeliveryAnswer answer = deliverNotice(channel, s, notice, fetch);
            const QString said = answer.accepted ? QString(u": принято ("_s + answer.answer + u')')
                                                 : QString(u": не принято: "_s + answer.answer);
            lines += channelWords(channel) + said;
        }
        return [this, lines] {
            say(lines.join(u'\n'));
            testButton_->setEnabled(true);
        };
    });
}

}  // namespace quorvel
