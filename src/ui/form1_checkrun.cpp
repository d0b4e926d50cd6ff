// The window's side of check runs, and the list's marker commands.
#include <QMetaObject>

#include "history/run_recording.h"
#include "ui/form1.h"

namespace quorvel {

namespace {

const QString kCheckButtonHint = QStringLiteral(
    "проверить наличие ссылок на сайте партнеров:\r\n"
    "зеленый - ссылка есть\r\n"
    "серый - ссылки нет\r\n"
    "красный - ссылка не индексируется\r\n"
    "бордовый - не удалось загрузить страницу партнера\r\n"
    "цифры слева - количество исходящих ссылок на странице партнера\r\n"
    "жирный шрифт - количество исходящих ссылок на странице партнера превышает максимальное");

const QString kStoppingHint = QStringLiteral(
    "остановка проверки: дождитесь окончания загрузок или нажмите, чтобы прервать их");

// How long the end of a run may take to reach the history file. Another
// program may hold the file for a while (a cron job's batch); a minute means
// something is wrong, and what is not written by then is dropped rather
// than kept.
constexpr std::chrono::seconds kRunEndBound(60);

}  // namespace

// The check button: starts a run when idle, asks the running one to stop
// (downloads under way finish first), and while it stops, cuts off the
// downloads under way.
void TForm1::ToolButton3Click() {
    if (closing_) {
        return;  // no thread starts after the window's threads have ended
    }
    switch (run_->state()) {
        case CheckRun::State::Idle:
            MarkersShown = true;
            // A run starts over the list as it is now; its results reach the
            // file after those of the run before.
            recording_ = std::make_unique<RunRecording>(historyPath_, model_->records(),
                                                        std::move(recording_), historyOptions_);
            progressStarted();
            run_->start();
            break;
        case CheckRun::State::Running:
            run_->requestStop();
            break;
        case CheckRun::State::Stopping:
            run_->abortDownloads();
            break;
    }
}

void TForm1::runOnUiThread(const std::function<void()>& task) {
    QMetaObject::invokeMethod(
        this, [&task] { task(); }, Qt::BlockingQueuedConnection);
}

void TForm1::postToUiThread(std::function<void()> task) {
    QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection);
}

void TForm1::RepaintRecordList() {
    ListBox1->repaintNow();
}

void TForm1::runStateChanged() {
    // Picture 6 when idle, 0 while running, a stop sign of its own while
    // stopping; a click while stopping cuts the downloads off.
    switch (run_->state()) {
        case CheckRun::State::Idle:
            ToolButton3->setIcon(ImageList1.value(6));
            setHint(ToolButton3, kCheckButtonHint);
            if (recording_) {
                recording_->finishInBackground(kRunEndBound);
                // The summary's changes and the overview wait for the history.
                progress_.awaited = recording_->keepsHistory() ? recording_.get() : nullptr;
            }
            break;
        case CheckRun::State::Running:
            ToolButton3->setIcon(ImageList1.value(0));
            setHint(ToolButton3, kCheckButtonHint);
            break;
        case CheckRun::State::Stopping:
            ToolButton3->setIcon(QIcon(QStringLiteral(":/quorvel/stopping.png")));
            setHint(ToolButton3, kStoppingHint);
            break;
    }
    if (StatusPanel2) {  // the toolbar is built before the status bar
        showProgress();
    }
}

// Records that a stop left untaken or an abort cut off are never reported,
// so they add nothing to the history; nor does a record that ended after a
// stop: its row shows what it got, but of the records under way only the
// failures would be kept, which could make a stop look like a site gone down.
void TForm1::recordChecked(const RecordCheck& check) {
    if (recording_ && !check.afterStop) {
        recording_->add(check);
    }
    progressRecorded(check);
}

void TForm1::HeaderControl1SectionResize() {
    ListBox1->repaintNow();
}

void TForm1::PopupMenu1Popup() {
    N2->setEnabled(MarkersShown);
    // A second look makes sense only at a page that loaded without the link,
    // and not while a run is changing the results.
    const int row = currentRow();
    RenderMenuItem->setEnabled(run_->state() == CheckRun::State::Idle && row >= 0 &&
                               run_->results().statusAt(row) == CheckStatus::Missing);
}

void TForm1::N2Click() {
    MarkersShown = false;
    ListBox1->repaintNow();
}

}  // namespace quorvel
