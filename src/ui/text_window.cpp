#include "ui/text_window.h"

#include <QVBoxLayout>

namespace quorvel {

QPlainTextEdit* makeTextWindow(QDialog* window, QWidget* owner, const QString& title,
                               const char* textName) {
    window->setWindowTitle(title);
    window->setFont(owner->font());  // a window does not inherit its owner's font
    window->setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    window->resize(556, 375);
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* text = new QPlainTextEdit(window);
    text->setObjectName(QLatin1StringView(textName));
    text->setReadOnly(true);
    text->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    text->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    layout->addWidget(text);
    return text;
}

}  // namespace quorvel
