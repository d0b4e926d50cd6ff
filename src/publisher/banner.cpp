#include "publisher/banner.h"

#include "records/code_page.h"
#include "records/record_store.h"
#include "records/text_decoding.h"

namespace quorvel {

std::unique_ptr<HttpClient> makeBannerClient(FetchSettings settings) {
    settings.maxBodyBytes = kBannerMaxBytes;
    return std::make_unique<HttpClient>("Mozilla/3.0 (compatible; Indy Library)", settings);
}

QString decodeTextAnswer(const QByteArray& body, const QByteArray& contentType) {
    for (const QByteArray& part : contentType.split(';')) {
        const QByteArray parameter = part.trimmed();
        if (parameter.toLower().startsWith("charset=")) {
            QByteArray name = parameter.mid(8).trimmed();
            if (name.size() >= 2 && name.startsWith('"') && name.endsWith('"')) {
                name = name.mid(1, name.size() - 2);
            }
            if (std::optional<QString> text = decodeNamedCodePage(name, body)) {
                return *std::move(text);
            }
            break;
        }
    }
    return QString::fromLatin1(body);
}

loaddata::loaddata(HttpClient& client, BannerWindow& window, PublisherSites sites)
    : client_(client), window_(window), sites_(std::move(sites)) {}

void loaddata::run() {
    bannerPicture();
    bannerText();
    launchCounter();
    window_.postToUiThread([w = &window_] { w->onBannerThreadEnded(); });
}

void loaddata::bannerPicture() {
    const HttpResponse r = client_.get(sites_.ideaAuthor + u"/quorvel/banner.bmp");
    if (r.result != HttpResponse::Result::Ok) {
        return;
    }
    QImage picture;
    if (!picture.loadFromData(r.body, "BMP")) {
        return;  // not a BMP picture
    }
    picture = picture.copy(0, 0, qMin(picture.width(), kBannerWidth),
                           qMin(picture.height(), kBannerHeight));
    window_.postToUiThread([w = &window_, picture] { w->setBannerPicture(picture); });
}

void loaddata::bannerText() {
    const HttpResponse r = client_.get(sites_.ideaAuthor + u"/quorvel/banner.txt");
    if (r.result != HttpResponse::Result::Ok) {
        return;
    }
    const QStringList lines =
        RecordStore::fromLines(decodeTextAnswer(r.body, r.contentType)).toStringList();
    if (lines.size() < 2) {
        return;
    }
    window_.postToUiThread([w = &window_, hint = lines.at(1), link = lines.at(0)] {
        w->setBannerHint(hint);
        w->setBannerLink(link);
    });
}

void loaddata::launchCounter() {
    if (client_.get(sites_.developer + u"/counter.php").result != HttpResponse::Result::Ok) {
        return;
    }
    const HttpResponse r = client_.get(sites_.developer + u"/counter.txt");
    if (r.result != HttpResponse::Result::Ok) {
        return;
    }
    const QString text = u"запусков программы с 21.10.2010 - " +
                         decodeTextAnswer(r.body, r.contentType) + u" раз(а)";
    window_.postToUiThread([w = &window_, text] { w->setLaunchCount(text); });
}

}  // namespace quorvel
