#pragma once

#include <QDialog>
#include <QPlainTextEdit>

namespace quorvel {

// The check history of one record, in a window like the outgoing links window.
class HistoryWindow : public QDialog {
    Q_OBJECT
  public:
    explicit HistoryWindow(QWidget* owner);

    QPlainTextEdit* textView = nullptr;
};

}  // namespace quorvel
