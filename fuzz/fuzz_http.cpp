// Any bytes as a server's answer: a loopback server sends them, the client
// must end in a clear outcome in bounded time and never crash, both as the
// window asks (identity bodies) and with a browser's headers (compressed
// bodies decoded within the same limit).
#include <QByteArray>

#include <cstdint>
#include <cstdlib>

#include "checking/http_client.h"
#include "checking/page_text.h"
#include "support/raw_server.h"

namespace {

void check(const QByteArray& answer, bool browser) {
    quorvel::test::RawServer server(
        [&answer](const quorvel::test::RawServer::Connection& c) { c.send(answer); });
    quorvel::FetchSettings settings;
    settings.connectTimeoutMs = 1000;
    settings.stallTimeoutMs = 300;
    settings.totalTimeoutMs = 1000;
    settings.maxBodyBytes = 64 * 1024;
    settings.browserHeaders = browser;
    quorvel::HttpClient client("MSIE 6.0", settings);
    const quorvel::HttpResponse r =
        client.get(QStringLiteral("http://127.0.0.1:%1/page").arg(server.port()));
    using Result = quorvel::HttpResponse::Result;
    using Kind = quorvel::FailureReason::Kind;
    if (r.result == Result::Ok) {
        if (r.status < 200 || r.status > 299 || r.body.size() > settings.maxBodyBytes) {
            std::abort();
        }
        (void)quorvel::pageTextFromBody(r.body);
    } else if (!r.body.isEmpty() || r.challengeMarker) {
        std::abort();  // a failing answer's body never reaches the caller
    }
    if ((r.result == Result::Status || r.result == Result::Failed) && r.reason.code().isEmpty()) {
        std::abort();  // every failure says why
    }
    // A server's wait is read from a refused answer only, and never negative.
    if (r.reason.retryAfter != -1 && (r.reason.kind != Kind::Http || r.reason.retryAfter < 0)) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray answer(reinterpret_cast<const char*>(data), qsizetype(size));
    check(answer, false);
    check(answer, true);
    return 0;
}
