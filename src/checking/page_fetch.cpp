#include "checking/page_fetch.h"

#include "checking/address.h"
#include "checking/page_text.h"
#include "records/text_decoding.h"

namespace quorvel {

namespace {

constexpr int kRedirectLimit = 15;  // the 15th redirect fails the attempt
constexpr char kUserAgent[] = "MSIE 6.0";

// One attempt: the address and the redirects it leads to. The body comes
// back only when the attempt succeeded.
bool attempt(HttpClient& client, const QString& address, QByteArray* body, QString* error) {
    QString current = address;
    for (int redirects = 0;;) {
        HttpResponse response = client.get(current);
        switch (response.result) {
            case HttpResponse::Result::Ok:
                *body = std::move(response.body);
                return true;
            case HttpResponse::Result::Redirect:
                if (++redirects >= kRedirectLimit) {
                    *error = QStringLiteral("too many redirects");
                    return false;
                }
                // Header bytes are not text of a known encoding: UTF-8 when
                // they are valid UTF-8, else one character per byte.
                current = isValidUtf8(response.location) ? QString::fromUtf8(response.location)
                                                         : QString::fromLatin1(response.location);
                break;
            case HttpResponse::Result::Status:
            case HttpResponse::Result::Failed:
                *error = response.error;
                return false;
        }
    }
}

}  // namespace

FetchResult FetchPage(const QString& partnerUrl, const FetchSettings& settings) {
    FetchResult result;
    result.firstAddress = firstAddressOf(partnerUrl);
    HttpClient client(kUserAgent, settings);
    QByteArray body;
    if (!attempt(client, result.firstAddress, &body, &result.error) &&
        !attempt(client, secondAddressOf(result.firstAddress), &body, &result.error)) {
        return result;
    }
    result.success = true;
    result.error.clear();
    result.pageText = pageTextFromBody(body);
    return result;
}

}  // namespace quorvel
