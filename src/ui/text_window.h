#pragma once

#include <QDialog>
#include <QPlainTextEdit>
#include <QString>

namespace quorvel {

// An ordinary resizable window, without buttons of its own, that a
// read-only text fills (it can still be selected and copied): the outgoing
// links window and the history window.
QPlainTextEdit* makeTextWindow(QDialog* window, QWidget* owner, const QString& title,
                               const char* textName);

}  // namespace quorvel
