#pragma once

#include <QDialog>

namespace quorvel {

// The About box.
class TForm2 : public QDialog {
    Q_OBJECT
public:
    explicit TForm2(QWidget* owner);
};

}  // namespace quorvel
