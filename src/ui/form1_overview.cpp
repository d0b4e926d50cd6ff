// The overview of every partner: its toolbar button, its refreshes and the
// records chosen in it.
#include "ui/form1.h"
#include "ui/overview_model.h"
#include "ui/overview_window.h"

namespace quorvel {

namespace {

// Changes that come together (a run's end, a few edits) make one read.
constexpr std::chrono::milliseconds kOverviewDelay(150);

}  // namespace

void TForm1::OverviewButtonClick() {
    openOverview(OverviewFilter::All);
}

void TForm1::openOverview(OverviewFilter filter) {
    if (closing_) {
        return;
    }
    if (!overviewWindow_) {
        overviewWindow_ = new OverviewWindow(this, overview_);
        connect(overviewWindow_, &OverviewWindow::recordChosen, this,
                [this](int index, const QString& line) { selectFromOverview(index, line); });
        connect(overviewWindow_, &OverviewWindow::historyWanted, this,
                [this](int index, const QString& line) {
                    selectFromOverview(index, line);
                    showHistoryOf(currentRow());
                });
    }
    const bool wasOpen = overviewWindow_->isVisible();
    if (!wasOpen) {
        refreshOverview();  // what it shows is read again whenever it is shown
    }
    overviewWindow_->open(model_->rowCount(), filter);
}

std::shared_ptr<const OverviewSnapshot> TForm1::overviewSnapshot() const {
    return overview_->snapshot();
}

void TForm1::refreshOverviewSoon() {
    if (!overviewDelay_.isActive()) {
        overviewDelay_.start(kOverviewDelay);
    }
}

void TForm1::refreshOverview() {
    overviewDelay_.stop();
    if (closing_) {
        return;
    }
    overview_->refresh(model_->records());
    if (overviewWindow_) {
        overviewWindow_->setRecordCount(model_->rowCount());
    }
}

void TForm1::selectFromOverview(int index, const QString& line) {
    // The list may have changed since the overview was read: the record is
    // looked for by its line, nearest its old place first.
    const RecordStore& records = model_->records();
    int row = -1;
    if (index >= 0 && index < records.size() && records.view(index) == line) {
        row = index;
    } else {
        for (qsizetype i = 0; i < records.size(); ++i) {
            if (records.view(i) == line) {
                row = int(i);
                break;
            }
        }
    }
    if (row < 0) {
        return;
    }
    const QModelIndex target = model_->index(row);
    ListBox1->selectionModel()->setCurrentIndex(target, QItemSelectionModel::ClearAndSelect);
    ListBox1->scrollTo(target);
    ListBox1Click();  // the editor follows, as after a click
}

}  // namespace quorvel
