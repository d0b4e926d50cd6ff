#pragma once

#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimeEdit>

#include <functional>
#include <memory>

#include "checking/http_client.h"
#include "notify/notify_settings.h"
#include "notify/schedule.h"

namespace quorvel {

class BackgroundWork;

// The settings a dialog shows, as the files hold them.
struct ScheduleDialogPaths {
    QString listFile;      // the window's data.qvp
    QString historyPath;   // its history
    QString notifyConfig;  // notify.ini
    QString program;       // quorvel-cli; empty when it cannot be found
};

// Checks of the window's list on a schedule: every day at a time or every
// few hours, with what changed sent to Telegram, by mail or to a webhook.
// It writes notify.ini (owner-only) and installs or removes the same timer
// as quorvel-cli schedule; a test send and the scheduler tool (systemctl,
// schtasks) run off the UI thread.
class ScheduleDialog : public QDialog {
    Q_OBJECT
  public:
    ScheduleDialog(QWidget* parent, ScheduleDialogPaths paths, FetchSettings fetch);
    ~ScheduleDialog() override;

    // The settings as the fields give them.
    NotifySettings settings() const;

  private:
    void load();
    void showState();
    void showLastRun();
    void enable();
    void disable();
    void testSend();
    // Runs `tool` off the UI thread, then `shown` with what it gave; the
    // buttons that switch the schedule wait until then.
    void runScheduler(std::function<ScheduleOutcome()> tool,
                      std::function<void(const ScheduleOutcome&)> shown);
    // What is wrong with the fields, in Russian; empty when nothing.
    QString fieldProblem() const;
    void say(const QString& text);

    ScheduleDialogPaths paths_;
    FetchSettings fetch_;
    QRadioButton* dailyChoice_ = nullptr;
    QTimeEdit* dailyTime_ = nullptr;
    QRadioButton* hoursChoice_ = nullptr;
    QComboBox* hoursBox_ = nullptr;
    QLineEdit* telegramToken_ = nullptr;
    QLineEdit* telegramChat_ = nullptr;
    QLineEdit* mailUrl_ = nullptr;
    QLineEdit* mailUser_ = nullptr;
    QLineEdit* mailPassword_ = nullptr;
    QLineEdit* mailFrom_ = nullptr;
    QLineEdit* mailTo_ = nullptr;
    QLineEdit* webhookUrl_ = nullptr;
    QLineEdit* webhookSecret_ = nullptr;
    QLabel* stateLabel_ = nullptr;
    QLabel* lastRunLabel_ = nullptr;
    QPlainTextEdit* messages_ = nullptr;
    QPushButton* testButton_ = nullptr;
    QPushButton* enableButton_ = nullptr;
    QPushButton* disableButton_ = nullptr;
    std::unique_ptr<BackgroundWork> historyWork_;
    std::unique_ptr<BackgroundWork> sendWork_;
    std::unique_ptr<BackgroundWork> schedulerWork_;
};

}  // namespace quorvel
