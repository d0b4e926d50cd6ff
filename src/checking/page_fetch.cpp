#include "checking/page_fetch.h"

#include "checking/address.h"
#include "checking/host_gate.h"
#include "checking/page_memory.h"
#include "checking/page_text.h"
#include "records/text_decoding.h"

namespace quorvel {

namespace {

using namespace Qt::StringLiterals;

constexpr int kRedirectLimit = 15;  // the 15th redirect fails the attempt
constexpr char kUserAgent[] = "MSIE 6.0";

// One attempt: the address and the redirects it leads to. The final
// response comes back only when the attempt succeeded.
FetchAttempt attempt(HttpClient& client, const QString& address, HttpResponse* page) {
    FetchAttempt outcome{address, {}, {}};
    const auto failed = [&outcome](FailureReason reason, const QString& error) {
        outcome.reason = std::move(reason);
        outcome.error = error;
        return outcome;
    };
    QString current = address;
    for (int redirects = 0;;) {
        HttpResponse response = client.get(current);
        switch (response.result) {
            case HttpResponse::Result::Ok:
                *page = std::move(response);
                return outcome;
            case HttpResponse::Result::Redirect: {
                if (++redirects >= kRedirectLimit) {
                    return failed(FailureReason(FailureReason::Kind::Redirects),
                                  u"too many redirects"_s);
                }
                if (response.location.isEmpty()) {
                    // Nowhere to go: asking the same address again would only loop.
                    return failed(FailureReason(FailureReason::Kind::Http, response.status),
                                  u"HTTP status %1 is a redirect without a Location header"_s.arg(
                                      response.status));
                }
                // Header bytes are not text of a known encoding: UTF-8 when
                // they are valid UTF-8, else one character per byte.
                current = isValidUtf8(response.location) ? QString::fromUtf8(response.location)
                                                         : QString::fromLatin1(response.location);
                // What came over TLS never leads on to plain http.
                if (response.url.startsWith("https:") &&
                    resolveRequestUrl(current, response.url).url.startsWith("http:")) {
                    return failed(FailureReason(FailureReason::Kind::Scheme),
                                  u"redirect from https to http refused: "_s + current);
                }
                break;
            }
            case HttpResponse::Result::Status:
            case HttpResponse::Result::Failed:
                return failed(response.reason, response.error);
        }
    }
}

// One attempt within the per-host limit: it waits for room at the host it
// will ask (unless it was let in already) and makes room when it ends. An
// address without a scheme goes where the client went last, which may be
// where the first attempt was redirected.
FetchAttempt gatedAttempt(HttpClient& client, const FetchSettings& settings, const QString& address,
                          QByteArray admitted, HttpResponse* page) {
    HostGate* gate = settings.hostGate;
    const QByteArray host = gate ? client.hostOf(address) : QByteArray();
    if (!admitted.isEmpty() && admitted != host) {
        gate->leave(admitted);  // let in for another host: not this attempt's
        admitted.clear();
    }
    if (!host.isEmpty() && admitted.isEmpty() && !gate->enter(host, settings.abort)) {
        return FetchAttempt{address, FailureReason(FailureReason::Kind::Aborted), u"aborted"_s};
    }
    FetchAttempt outcome = attempt(client, address, page);
    if (!host.isEmpty()) {
        gate->leave(host);
    }
    return outcome;
}

}  // namespace

FetchResult FetchPage(const QString& partnerUrl, const FetchSettings& settings,
                      const QByteArray& admittedHost) {
    FetchResult result;
    result.firstAddress = firstAddressOf(partnerUrl);
    if (std::optional<FailureReason> reason = unaskableAddress(partnerUrl)) {
        // No "www." variant can mend it, and asking would only trouble the
        // resolver with names like "www." or "ftp".
        result.error = reason->kind == FailureReason::Kind::Scheme
                           ? u"scheme not supported: "_s + partnerUrl
                           : u"no host in the address"_s;
        result.attempts.append(FetchAttempt{result.firstAddress, std::move(*reason), result.error});
        if (!admittedHost.isEmpty() && settings.hostGate) {
            settings.hostGate->leave(admittedHost);
        }
        return result;
    }
    HttpClient client(kUserAgent, settings);
    HttpResponse page;
    result.attempts.append(
        gatedAttempt(client, settings, result.firstAddress, admittedHost, &page));
    if (result.attempts.last().reason.kind != FailureReason::Kind::None) {
        result.attempts.append(
            gatedAttempt(client, settings, secondAddressOf(result.firstAddress), {}, &page));
    }
    const FetchAttempt& last = result.attempts.last();
    if (last.reason.kind != FailureReason::Kind::None) {
        result.error = last.error;
        return result;
    }
    result.success = true;
    result.pageText = pageTextFromBody(page.body);
    result.finalAddress = QString::fromUtf8(page.url);
    result.robotsTags = std::move(page.robotsTags);
    result.links = std::move(page.links);
    result.challengeMarker = page.challengeMarker;
    // The body goes now; the room it took goes back, its text's stays.
    const qint64 bodyBytes = page.body.size();
    result.memory = std::move(page.memory);
    page = HttpResponse();
    if (result.memory) {
        result.memory->giveBack(bodyBytes);
    }
    return result;
}

QByteArray pageUserAgent(const FetchSettings& settings) {
    if (!settings.userAgent.isEmpty()) {
        return settings.userAgent;
    }
    return settings.browserHeaders ? QByteArray(kBrowserUserAgent) : QByteArray(kUserAgent);
}

QByteArray pageAcceptLanguage(const FetchSettings& settings) {
    if (!settings.browserHeaders) {
        return {};
    }
    static constexpr QByteArrayView kName = "Accept-Language:";
    for (const QByteArray& line : browserHeaderLines(settings.userAgent)) {
        if (line.startsWith(kName)) {
            return line.sliced(kName.size()).trimmed();
        }
    }
    return {};
}

FetchAttempt fetchSiteFile(const QString& address, const FetchSettings& settings,
                           HttpResponse* response) {
    HttpClient client(kUserAgent, settings);
    return gatedAttempt(client, settings, address, {}, response);
}

}  // namespace quorvel
