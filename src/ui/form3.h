#pragma once

#include <QDialog>
#include <QPlainTextEdit>

namespace quorvel {

// The outgoing links window.
class TForm3 : public QDialog {
    Q_OBJECT
  public:
    explicit TForm3(QWidget* owner);

    QPlainTextEdit* RichEdit1 = nullptr;
};

}  // namespace quorvel
