#include "ui/form3.h"

#include <QVBoxLayout>

namespace quorvel {

TForm3::TForm3(QWidget* owner) : QDialog(owner) {
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("Просмотр исходящих ссылок со страницы"));
    setFont(owner->font());  // a window does not inherit its owner's font
    // An ordinary resizable window, without buttons of its own.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    resize(556, 375);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    RichEdit1 = new QPlainTextEdit(this);
    RichEdit1->setObjectName(QStringLiteral("RichEdit1"));
    RichEdit1->setReadOnly(true);  // text can still be selected and copied
    RichEdit1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    RichEdit1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    RichEdit1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    layout->addWidget(RichEdit1);
}

}  // namespace quorvel
