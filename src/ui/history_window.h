#pragma once

#include <QDialog>
#include <QPlainTextEdit>
#include <QTableWidget>

#include "history/history.h"

namespace quorvel {

// The check history of one record, in a window like the outgoing links
// window: a table of its last checks above the text of its states and
// changes.
class HistoryWindow : public QDialog {
    Q_OBJECT
  public:
    explicit HistoryWindow(QWidget* owner);

    // Shows the record's checks, newest first, and `text`; the title names
    // the partner's page.
    void showHistory(const QString& partnerUrl, const QList<PastCheck>& checks,
                     const QString& text);
    // "история проверок: " and the address, shortened in the middle past 80
    // characters.
    static QString titleFor(const QString& partnerUrl);

    QTableWidget* checksTable = nullptr;
    QPlainTextEdit* textView = nullptr;
};

}  // namespace quorvel
