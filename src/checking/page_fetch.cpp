#include "checking/page_fetch.h"

#include "checking/address.h"
#include "checking/host_gate.h"
#include "checking/page_text.h"
#include "records/text_decoding.h"

namespace quorvel {

namespace {

constexpr int kRedirectLimit = 15;  // the 15th redirect fails the attempt
constexpr char kUserAgent[] = "MSIE 6.0";

// One attempt: the address and the redirects it leads to. The final
// response comes back only when the attempt succeeded.
bool attempt(HttpClient& client, const QString& address, HttpResponse* page, QString* error) {
    QString current = address;
    for (int redirects = 0;;) {
        HttpResponse response = client.get(current);
        switch (response.result) {
            case HttpResponse::Result::Ok:
                *page = std::move(response);
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

// One attempt within the per-host limit: it waits for room at the host of
// its address (unless it was let in already) and makes room when it ends.
bool gatedAttempt(HttpClient& client, const FetchSettings& settings, const QString& address,
                  const QByteArray& base, QByteArray admitted, HttpResponse* page, QString* error) {
    HostGate* gate = settings.hostGate;
    const QByteArray host = gate ? requestHostOf(address, base) : QByteArray();
    if (!admitted.isEmpty() && admitted != host) {
        gate->leave(admitted);  // let in for another host: not this attempt's
        admitted.clear();
    }
    if (!host.isEmpty() && admitted.isEmpty() && !gate->enter(host, settings.abort)) {
        *error = QStringLiteral("aborted");
        return false;
    }
    const bool ok = attempt(client, address, page, error);
    if (!host.isEmpty()) {
        gate->leave(host);
    }
    return ok;
}

}  // namespace

FetchResult FetchPage(const QString& partnerUrl, const FetchSettings& settings,
                      const QByteArray& admittedHost) {
    FetchResult result;
    result.firstAddress = firstAddressOf(partnerUrl);
    HttpClient client(kUserAgent, settings);
    HttpResponse page;
    const QByteArray base = requestUrlOf(result.firstAddress);
    if (!gatedAttempt(client, settings, result.firstAddress, {}, admittedHost, &page,
                      &result.error) &&
        !gatedAttempt(client, settings, secondAddressOf(result.firstAddress), base, {}, &page,
                      &result.error)) {
        return result;
    }
    result.success = true;
    result.error.clear();
    result.pageText = pageTextFromBody(page.body);
    result.robotsTags = std::move(page.robotsTags);
    return result;
}

}  // namespace quorvel
