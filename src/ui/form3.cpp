#include "ui/form3.h"

namespace quorvel {

TForm3::TForm3(QWidget* owner) : QDialog(owner) {
    setWindowTitle(QStringLiteral("Просмотр исходящих ссылок со страницы"));
    resize(556, 375);
}

}  // namespace quorvel
