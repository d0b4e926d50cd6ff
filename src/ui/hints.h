#pragma once

#include <QObject>
#include <QString>

namespace quorvel {

// Text that the user, a record or the network supplied, as a tooltip that
// shows its characters and is never read as markup.
QString plainToolTip(const QString& text);
// Sets a control's or action's hint: the text as given in the "hint"
// property, the tooltip showing it as plain text.
void setHint(QObject* target, const QString& text);

}  // namespace quorvel
