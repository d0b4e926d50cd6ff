#pragma once

class QCoreApplication;

namespace quorvel {

// Qt's own texts (file dialogs, edit menus, standard buttons) in Russian,
// whatever the user's locale: the program speaks Russian throughout. Call
// before any window is created. False when the translation is not installed
// (the program then works with Qt's English texts).
bool installQtRussian(QCoreApplication& app);

}  // namespace quorvel
