#pragma once

#include <QDialog>
#include <QPlainTextEdit>

namespace quorvel {

// An ordinary resizable window, without buttons of its own, that a
// read-only text fills (it can still be selected and copied).
QPlainTextEdit* makeTextWindow(QDialog* window, QWidget* owner, const QString& title,
                               const char* textName);

// The outgoing links window.
class TForm3 : public QDialog {
    Q_OBJECT
  public:
    explicit TForm3(QWidget* owner);

    QPlainTextEdit* RichEdit1 = nullptr;
};

}  // namespace quorvel
