#include "ui/hints.h"

#include <QVariant>

namespace quorvel {

QString plainToolTip(const QString& text) {
    if (text.isEmpty()) {
        return QString();  // no text, no hint
    }
    // Escaped and kept as typed: markup characters show as themselves.
    QString html = text.toHtmlEscaped();
    html.replace(QStringLiteral("\r\n"), QStringLiteral("<br>"));
    html.replace(u'\n', QStringLiteral("<br>"));
    html.replace(u'\r', QStringLiteral("<br>"));
    return u"<p style='white-space:pre'>" + html + u"</p>";
}

void setHint(QObject* target, const QString& text) {
    target->setProperty("hint", text);
    target->setProperty("toolTip", plainToolTip(text));  // QWidget and QAction alike
}

}  // namespace quorvel
