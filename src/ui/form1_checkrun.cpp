// The window's side of check runs, and the list's marker commands.
#include <QMetaObject>

#include "ui/form1.h"

namespace quorvel {

// The check button: starts a run when idle, asks the running one to stop
// (downloads under way finish first), and does nothing while stopping.
void TForm1::ToolButton3Click() {
    if (closing_) {
        return;  // no thread starts after the window's threads have ended
    }
    switch (run_->state()) {
        case CheckRun::State::Idle:
            MarkersShown = true;
            run_->start();
            break;
        case CheckRun::State::Running:
            run_->requestStop();
            break;
        case CheckRun::State::Stopping:
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
    // Picture 0 while workers are alive, 6 when idle; disabled while stopping.
    const CheckRun::State state = run_->state();
    ToolButton3->setIcon(ImageList1.value(state == CheckRun::State::Idle ? 6 : 0));
    ToolButton3->setEnabled(state != CheckRun::State::Stopping);
}

void TForm1::HeaderControl1SectionResize() {
    ListBox1->repaintNow();
}

void TForm1::PopupMenu1Popup() {
    N2->setEnabled(MarkersShown);
}

void TForm1::N2Click() {
    MarkersShown = false;
    ListBox1->repaintNow();
}

}  // namespace quorvel
