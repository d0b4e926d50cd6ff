#include "publisher/web_links.h"

#include <QDesktopServices>
#include <QMouseEvent>
#include <QUrl>

#include "checking/address.h"

namespace quorvel {

bool openWebAddress(const QString& text) {
    const QUrl url(firstAddressOf(text), QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != u"http" && scheme != u"https") || url.host().isEmpty()) {
        return false;
    }
    QDesktopServices::openUrl(url);
    return true;
}

void ClickableLabel::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        Q_EMIT clicked();
    }
}

}  // namespace quorvel
