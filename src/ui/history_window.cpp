#include "ui/history_window.h"

#include <QVBoxLayout>

namespace quorvel {

HistoryWindow::HistoryWindow(QWidget* owner) : QDialog(owner) {
    setObjectName(QStringLiteral("HistoryWindow"));
    setWindowTitle(QStringLiteral("История проверок"));
    setFont(owner->font());  // a window does not inherit its owner's font
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    resize(556, 375);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    textView = new QPlainTextEdit(this);
    textView->setObjectName(QStringLiteral("HistoryView"));
    textView->setReadOnly(true);  // text can still be selected and copied
    textView->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    textView->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    layout->addWidget(textView);
}

}  // namespace quorvel
