#pragma once

#include <QDialog>

namespace quorvel {

// The outgoing links window.
class TForm3 : public QDialog {
    Q_OBJECT
public:
    explicit TForm3(QWidget* owner);
};

}  // namespace quorvel
