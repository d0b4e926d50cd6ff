// Any bytes as a server's answer: a loopback server sends them, the client
// must end in a clear outcome in bounded time and never crash.
#include <QByteArray>

#include <cstdint>
#include <cstdlib>

#include "checking/http_client.h"
#include "checking/page_text.h"
#include "support/raw_server.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray answer(reinterpret_cast<const char*>(data), qsizetype(size));
    quorvel::test::RawServer server(
        [&answer](const quorvel::test::RawServer::Connection& c) { c.send(answer); });
    quorvel::FetchSettings settings;
    settings.connectTimeoutMs = 1000;
    settings.stallTimeoutMs = 300;
    settings.totalTimeoutMs = 1000;
    settings.maxBodyBytes = 64 * 1024;
    quorvel::HttpClient client("MSIE 6.0", settings);
    const quorvel::HttpResponse r =
        client.get(QStringLiteral("http://127.0.0.1:%1/page").arg(server.port()));
    if (r.result == quorvel::HttpResponse::Result::Ok) {
        if (r.status < 200 || r.status > 299 || r.body.size() > settings.maxBodyBytes) {
            std::abort();
        }
        (void)quorvel::pageTextFromBody(r.body);
    } else if (!r.body.isEmpty()) {
        std::abort();  // a failing answer's body never reaches the caller
    }
    return 0;
}
