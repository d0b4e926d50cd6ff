#include "ui/history_window.h"

#include "ui/text_window.h"

namespace quorvel {

HistoryWindow::HistoryWindow(QWidget* owner) : QDialog(owner) {
    setObjectName(QStringLiteral("HistoryWindow"));
    textView = makeTextWindow(this, owner, QStringLiteral("История проверок"), "HistoryView");
}

}  // namespace quorvel
