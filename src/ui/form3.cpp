#include "ui/form3.h"

#include "ui/text_window.h"
#include "ui/window_words.h"

namespace quorvel {

TForm3::TForm3(QWidget* owner) : QDialog(owner) {
    setObjectName(QStringLiteral("Form3"));
    RichEdit1 = makeTextWindow(this, owner, outgoingLinksWords().title, "RichEdit1");
    RichEdit1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
}

}  // namespace quorvel
