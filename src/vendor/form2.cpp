#include "vendor/form2.h"

namespace quorvel {

TForm2::TForm2(QWidget* owner) : QDialog(owner) {
    setWindowTitle(QStringLiteral("О программе"));
    resize(418, 286);
}

}  // namespace quorvel
