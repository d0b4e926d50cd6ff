#pragma once

#include <QLabel>
#include <QString>

namespace quorvel {

// Opens a web address with the desktop's default handler, and only a web
// address: "http://" goes in front unless the text begins with "http"; then
// anything but an http or https address with a host is not opened. Returns
// whether it was handed on.
bool openWebAddress(const QString& text);

// A label that reports clicks.
class ClickableLabel : public QLabel {
    Q_OBJECT
  public:
    using QLabel::QLabel;

  Q_SIGNALS:
    void clicked();

  protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

}  // namespace quorvel
