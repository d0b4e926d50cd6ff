// The status bar's third panel: how far a run has got, how long it may still
// take, what a stop waits for, and what the run found and changed.
#include <cmath>

#include "history/history_reader.h"
#include "history/history_words.h"
#include "history/run_recording.h"
#include "ui/background_work.h"
#include "ui/form1.h"

namespace quorvel {

using namespace Qt::StringLiterals;

namespace {

// An estimate needs a few records to go by.
constexpr int kEstimateAfter = 20;
constexpr std::chrono::milliseconds kProgressTick(500);

// "окончания 1 загрузки", "окончания 5 загрузок".
QString downloadsWords(int count) {
    return QString::number(count) +
           (count % 10 == 1 && count % 100 != 11 ? u" загрузки"_s : u" загрузок"_s);
}

}  // namespace

void TForm1::progressStarted() {
    progress_ = RunProgress();
    progress_.started = true;
    progress_.clock.start();
    if (!progressTimer_.isActive()) {
        progressTimer_.start(kProgressTick);
    }
}

void TForm1::progressRecorded(const RecordCheck& check) {
    ++progress_.checked;
    const int status = int(check.outcome.status);
    if (status >= 1 && status <= 4) {
        ++progress_.byStatus[size_t(status - 1)];
    }
}

void TForm1::showProgress() {
    if (!progress_.started) {
        StatusPanel2->clear();
        return;
    }
    const int checked = progress_.checked;
    // The run goes to the end of the list as it is now.
    const int total = std::max(checked, model_->rowCount());
    switch (run_->state()) {
        case CheckRun::State::Running: {
            QString text = u"проверено %1 из %2"_s.arg(checked).arg(total);
            if (checked >= kEstimateAfter && total > checked) {
                const double perRecord = double(progress_.clock.elapsed()) / checked;
                const int minutes =
                    std::max(1, int(std::ceil(perRecord * (total - checked) / 60000.0)));
                text += u" · осталось около %1 мин"_s.arg(minutes);
            }
            StatusPanel2->setText(text + u" · нажмите кнопку проверки, чтобы остановить"_s);
            break;
        }
        case CheckRun::State::Stopping:
            StatusPanel2->setText(u"остановка: ждем окончания "_s +
                                  downloadsWords(run_->workersAlive()));
            break;
        case CheckRun::State::Idle: {
            QString text = u"итог: "_s + tallyWords(progress_.byStatus);
            if (progress_.changed >= 0) {
                text += u" · изменились %1"_s.arg(progress_.changed);
            }
            StatusPanel2->setText(text);
            break;
        }
    }
}

void TForm1::progressTick() {
    if (closing_) {
        progressTimer_.stop();
        return;
    }
    showProgress();
    if (run_->state() != CheckRun::State::Idle) {
        return;
    }
    // A newer run made the question moot; a run without a history has no
    // answer to wait for.
    if (!progress_.awaited || progress_.awaited != recording_.get()) {
        progressTimer_.stop();
        return;
    }
    if (!recording_->writingDone()) {
        return;
    }
    progressTimer_.stop();
    progress_.awaited = nullptr;
    const qint64 runId = recording_->finish(std::chrono::milliseconds(0)).runId;
    refreshOverview();  // the history holds the run now
    if (runId == 0) {
        return;
    }
    // The records whose confirmed state moved, as check --changes counts them.
    runQuestions_->post([this, path = historyPath_, runId](const std::atomic<bool>&) {
        HistoryReader reader(path, std::chrono::seconds(1));
        const Outcome<QList<RunEvent>> events = reader.eventsOfRun(runId);
        QSet<RecordIdentity> changed;
        for (const RunEvent& event : events.value) {
            changed.insert(event.identity);
        }
        const int count = events.ok() ? int(changed.size()) : -1;
        return BackgroundWork::Done([this, count] {
            if (run_->state() == CheckRun::State::Idle && !progress_.awaited) {
                progress_.changed = count;
                showProgress();
            }
        });
    });
}

void TForm1::StatusPanel2Click() {
    openOverview(OverviewFilter::Changed);
}

}  // namespace quorvel
