// The list's command "история проверок": the current record's check history,
// read off the UI thread, in a window of its own.
#include "history/history_reader.h"
#include "records/record_line.h"
#include "ui/form1.h"
#include "ui/history_text.h"
#include "ui/history_window.h"

namespace quorvel {

namespace {

// Readers never wait for writers in WAL mode; only a file being recovered
// makes them wait, briefly. The bound keeps a cancelled or closing window
// from waiting long for the reading thread.
constexpr std::chrono::seconds kReadBusyTimeout(1);

}  // namespace

void TForm1::N4Click() {
    showHistoryOf(currentRow());
}

void TForm1::showHistoryOf(int row) {
    if (row < 0 || row >= model_->rowCount()) {
        return;
    }
    const QString line = model_->records().at(row);
    const RecordIdentity identity = identityOf(line);
    const RecordFacts facts{!ExtractField(line, QChar(u'4')).isEmpty(),
                            ExtractField(line, QChar(u'D'))};
    const QString path = historyPath_;
    QString text;
    QList<PastCheck> checks;
    // A reader is one SQLite connection for the thread that made it, so it
    // is made and used inside the work.
    const bool done = runBusy(
        mainWindowWords().historyTitle, mainWindowWords().readingHistory, identity.partnerUrl,
        [&path, &identity, &facts, &text, &checks](const AbortFlag&) {
            HistoryReader reader(path, kReadBusyTimeout);
            const Outcome<RecordHistory> history = reader.recordHistory(identity);
            text = history.ok() ? historyText(history.value, facts) : kHistoryUnreadableText;
            checks = history.value.checks;
        });
    if (!done) {
        return;
    }
    if (!historyWindow_) {
        historyWindow_ = new HistoryWindow(this);
    }
    historyWindow_->showHistory(identity.partnerUrl, checks, text);
    runModal(*historyWindow_);
}

}  // namespace quorvel
