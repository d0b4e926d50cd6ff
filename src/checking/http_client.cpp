#include "checking/http_client.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "checking/address.h"
#include "checking/bot_walls.h"
#include "checking/curl_rules.h"
#include "checking/page_memory.h"

#ifdef Q_OS_LINUX
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace quorvel {

namespace {

using Clock = std::chrono::steady_clock;

// How long a refused answer's body is read for its reason, at most, and how
// long it may pause.
constexpr std::chrono::milliseconds kRefusedSniff(5000);
constexpr std::chrono::milliseconds kRefusedStall(2000);

struct MultiDeleter {
    void operator()(CURLM* m) const { curl_multi_cleanup(m); }
};

bool startsWithNoCase(QByteArrayView line, QByteArrayView prefix) {
    return line.size() >= prefix.size() &&
           line.first(prefix.size()).compare(prefix, Qt::CaseInsensitive) == 0;
}

using Kind = FailureReason::Kind;

Kind kindOf(CURLcode code) {
    switch (code) {
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY:
            return Kind::Dns;
        case CURLE_OPERATION_TIMEDOUT:
            return Kind::Timeout;
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CIPHER:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_CRL_BADFILE:
        case CURLE_SSL_ISSUER_ERROR:
        case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
        case CURLE_SSL_INVALIDCERTSTATUS:
        case CURLE_SSL_SHUTDOWN_FAILED:
            return Kind::Tls;
        case CURLE_UNSUPPORTED_PROTOCOL:
            return Kind::Scheme;
        case CURLE_OUT_OF_MEMORY:  // the library's answer to a header line it cannot hold
        case CURLE_FILESIZE_EXCEEDED:
            return Kind::TooLarge;
        case CURLE_ABORTED_BY_CALLBACK:
            return Kind::Aborted;
        case CURLE_BAD_CONTENT_ENCODING:  // unknown, damaged, or too many stages
            return Kind::Encoding;
        default:
            return Kind::Connect;  // refused, reset, closed early, or not HTTP at all
    }
}

}  // namespace

QList<QByteArray> browserHeaderLines(const QByteArray& userAgent) {
    // Firefox ESR 128 on Windows 10 opening a page, Russian first.
    return {
        "User-Agent: " + (userAgent.isEmpty() ? QByteArray(kBrowserUserAgent) : userAgent),
        "Accept: text/html,application/xhtml+xml,application/xml;q=0.9,image/avif,image/webp,"
        "*/*;q=0.8",
        "Accept-Language: ru-RU,ru;q=0.8,en-US;q=0.5,en;q=0.3",
        "Accept-Encoding: gzip, deflate, br",
        "Connection: keep-alive",
        "Upgrade-Insecure-Requests: 1",
        "Sec-Fetch-Dest: document",
        "Sec-Fetch-Mode: navigate",
        "Sec-Fetch-Site: none",
        "Sec-Fetch-User: ?1",
        "Priority: u=0, i",
    };
}

void initNetwork() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct HttpClient::Impl {
    // The connection sockets the library has open; declared first, so that
    // it outlives the handles whose clean-up closes them.
    std::vector<curl_socket_t> sockets;
    FetchSettings settings;
    CurlEasy easy;
    std::unique_ptr<CURLM, MultiDeleter> multi;
    CurlList headers;
    CurlList resolve;
    QByteArray lastAddress;
    char errorBuffer[CURL_ERROR_SIZE] = {};

    // The response under way.
    HttpResponse response;
    Clock::time_point lastByte;
    bool waitingForMemory = false;  // its body's download is paused for room
    // What the request under way has shown so far; every request starts
    // with a fresh one (see get()).
    struct Exchange {
        // What the final response's headers make of it, once they are all
        // in. A refused answer (Status) keeps its status whatever its body does.
        std::optional<HttpResponse::Result> headedAs;
        Clock::time_point refusedAt;
        bool challengeHeader = false;  // a bot wall answered
        QByteArray retryAfter;         // the Retry-After header's value
        QByteArray refusedHead;        // the start of a refused answer's body, for its reason
        bool stoppedOnPurpose = false;
        QString stopReason;
        Kind stopKind = Kind::None;

        // A new response after an interim 1xx one: only its own headers count.
        void startResponse() {
            headedAs.reset();
            challengeHeader = false;
            retryAfter.clear();
        }
    } x;

    static int onSocketOpened(void* self, curl_socket_t fd, curlsocktype purpose) {
        if (purpose == CURLSOCKTYPE_IPCXN) {
            static_cast<Impl*>(self)->sockets.push_back(fd);
        }
        return CURL_SOCKOPT_OK;
    }

    static int onSocketClosing(void* self, curl_socket_t fd) {
        auto& open = static_cast<Impl*>(self)->sockets;
        open.erase(std::remove(open.begin(), open.end(), fd), open.end());
#ifdef Q_OS_WIN
        return closesocket(fd);
#else
        return close(fd);
#endif
    }

    // The library hands over header lines only once they are whole, so a
    // server that drips a header byte by byte would look silent: the kernel
    // says when data last arrived on the connection, whatever it was.
    void noteBytesOnTheWire() {
#ifdef Q_OS_LINUX
        for (const curl_socket_t fd : sockets) {
            tcp_info info{};
            socklen_t length = sizeof info;
            if (getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &length) == 0) {
                lastByte = std::max(
                    lastByte, Clock::now() - std::chrono::milliseconds(info.tcpi_last_data_recv));
            }
        }
#endif
    }

    static size_t onHeader(char* data, size_t size, size_t count, void* self) {
        auto* d = static_cast<Impl*>(self);
        const size_t n = size * count;
        d->lastByte = Clock::now();
        QByteArrayView line(data, qsizetype(n));
        while (line.endsWith('\n') || line.endsWith('\r')) {
            line.chop(1);
        }
        if (startsWithNoCase(line, "HTTP/")) {
            // A new response (after an interim 1xx one): its own headers.
            d->response.location.clear();
            d->response.contentType.clear();
            d->response.robotsTags.clear();
            d->response.links.clear();
            d->x.startResponse();
        } else if (line.isEmpty()) {
            if (d->status() >= 200) {  // an interim 1xx answer's headers decide nothing
                d->decide();
            }
        } else if (isChallengeHeader(line)) {
            d->x.challengeHeader = true;
        } else if (startsWithNoCase(line, "Retry-After:")) {
            d->x.retryAfter = line.sliced(12).trimmed().toByteArray();
        } else if (startsWithNoCase(line, "X-Robots-Tag:")) {
            d->response.robotsTags += line.sliced(13).trimmed().toByteArray();
        } else if (startsWithNoCase(line, "Link:")) {
            d->response.links += line.sliced(5).trimmed().toByteArray();
        } else if (startsWithNoCase(line, "Location:")) {
            d->response.location = line.sliced(9).trimmed().toByteArray();
        } else if (startsWithNoCase(line, "Content-Type:")) {
            d->response.contentType = line.sliced(13).trimmed().toByteArray();
        }
        return n;
    }

    static size_t onBody(char* data, size_t size, size_t count, void* self) {
        auto* d = static_cast<Impl*>(self);
        const size_t n = size * count;
        d->lastByte = Clock::now();
        if (!d->x.headedAs) {
            d->decide();  // the headers always end first; this is a safeguard
        }
        if (*d->x.headedAs == HttpResponse::Result::Redirect) {
            d->x.stoppedOnPurpose = true;  // a redirect's body is of no use: stop reading
            return 0;
        }
        if (*d->x.headedAs != HttpResponse::Result::Ok) {
            // A refused answer's body is no page: only its start is kept
            // (apart from any page), to tell a bot wall from a dead page.
            const qsizetype room = kChallengeSniffBytes - d->x.refusedHead.size();
            d->x.refusedHead.append(data, std::min(qsizetype(n), room));
            if (qsizetype(n) >= room) {
                d->x.stoppedOnPurpose = true;  // seen enough: stop reading
                return 0;
            }
            return n;
        }
        if (d->response.body.size() + qint64(n) > d->settings.maxBodyBytes) {
            if (d->settings.cutBodyAtLimit) {  // the start is all that is wanted
                d->response.body.append(data, d->settings.maxBodyBytes - d->response.body.size());
                d->x.stoppedOnPurpose = true;
                return 0;
            }
            d->x.stopReason =
                QStringLiteral("the body is larger than %1 bytes").arg(d->settings.maxBodyBytes);
            d->x.stopKind = Kind::TooLarge;
            return 0;
        }
        if (PageMemory* memory = d->settings.pageMemory) {
            if (!d->response.memory) {
                d->response.memory = std::make_shared<PageLease>(*memory);
            }
            if (!d->response.memory->tryTake(kPageCostPerByte * qint64(n))) {
                d->waitingForMemory = true;
                return CURL_WRITEFUNC_PAUSE;  // the library hands these bytes over again
            }
        }
        d->response.body.append(data, qsizetype(n));
        return n;
    }

    int status() const {
        long code = 0;
        curl_easy_getinfo(easy.get(), CURLINFO_RESPONSE_CODE, &code);
        return int(code);
    }

    void decide() {
        x.headedAs = classify(status());
        x.refusedAt = Clock::now();
    }

    bool refused() const {
        return x.headedAs == HttpResponse::Result::Status;
    }

    HttpResponse::Result classify(int status) const {
        if (x.challengeHeader) {
            return HttpResponse::Result::Status;  // not the site's answer, whatever its status
        }
        if ((status >= 300 && status <= 399 && status != 304) ||
            (!response.location.isEmpty() && status != 201)) {
            return HttpResponse::Result::Redirect;
        }
        return status >= 200 && status <= 299 ? HttpResponse::Result::Ok
                                              : HttpResponse::Result::Status;
    }

    bool abortRequested() const {
        return settings.abort && settings.abort->isSet();
    }

    // Whether nothing has come for longer than `limit`. The callbacks mark
    // what the library hands over; the kernel is asked only when they have
    // been quiet that long, so a busy download costs no extra system call.
    bool silentFor(Clock::duration limit) {
        if (Clock::now() - lastByte <= limit) {
            return false;
        }
        noteBytesOnTheWire();
        return Clock::now() - lastByte > limit;
    }

    // Runs the transfer on the multi handle, so that the abort flag and the
    // time limits are checked every few milliseconds. A wait for room to
    // hold the page is ours, not the server's: it counts against neither
    // limit.
    CURLcode perform() {
        CURLM* m = multi.get();
        curl_multi_add_handle(m, easy.get());
        CURLcode result = CURLE_OK;
        int running = 1;
        Clock::time_point deadline =
            Clock::now() + std::chrono::milliseconds(settings.totalTimeoutMs);
        while (running > 0) {
            if (curl_multi_perform(m, &running) != CURLM_OK) {
                result = CURLE_FAILED_INIT;
                break;
            }
            if (running == 0) {
                break;
            }
            if (abortRequested()) {
                x.stopReason = QStringLiteral("aborted");
                x.stopKind = Kind::Aborted;
                result = CURLE_ABORTED_BY_CALLBACK;
                break;
            }
            if (waitingForMemory) {
                const Clock::time_point since = Clock::now();
                response.memory->waitForRoom(std::chrono::milliseconds(20));
                deadline += Clock::now() - since;
                lastByte += Clock::now() - since;
                waitingForMemory = false;
                curl_easy_pause(easy.get(), CURLPAUSE_CONT);  // may pause again at once
                continue;
            }
            if (Clock::now() > deadline) {
                x.stopReason = QStringLiteral("timed out after %1 ms").arg(settings.totalTimeoutMs);
                x.stopKind = Kind::Timeout;
                result = CURLE_OPERATION_TIMEDOUT;
                break;
            }
            if (refused() &&
                (Clock::now() - x.refusedAt > kRefusedSniff || silentFor(kRefusedStall))) {
                // What a refused answer's body may tell is not worth a wait.
                x.stoppedOnPurpose = true;
                result = CURLE_WRITE_ERROR;
                break;
            }
            if (silentFor(std::chrono::milliseconds(settings.stallTimeoutMs))) {
                x.stopReason = QStringLiteral("no data for %1 ms").arg(settings.stallTimeoutMs);
                x.stopKind = Kind::Timeout;
                result = CURLE_OPERATION_TIMEDOUT;
                break;
            }
            curl_multi_poll(m, nullptr, 0, 20, nullptr);
        }
        if (running == 0) {
            int left = 0;
            while (CURLMsg* msg = curl_multi_info_read(m, &left)) {
                if (msg->msg == CURLMSG_DONE) {
                    result = msg->data.result;
                }
            }
        }
        curl_multi_remove_handle(m, easy.get());
        return result;
    }
};

HttpClient::HttpClient(const QByteArray& userAgent, const FetchSettings& settings)
    : d_(std::make_unique<Impl>()) {
    initNetwork();
    d_->settings = settings;
    d_->easy.reset(curl_easy_init());
    d_->multi.reset(curl_multi_init());
    CURL* h = d_->easy.get();
    if (!h || !d_->multi) {
        return;
    }
    if (settings.browserHeaders) {
        // A desktop browser's request, its headers in that browser's order:
        // firewalls that turn away a browser's name without a browser's
        // headers let this one through. Its compressed bodies are decoded.
        for (const QByteArray& line : browserHeaderLines(settings.userAgent)) {
            appendTo(d_->headers, line);
        }
        curl_easy_setopt(h, CURLOPT_ACCEPT_ENCODING, "gzip, deflate, br");
    } else {
        // The request carries exactly these headers, in this order, after Host.
        appendTo(d_->headers, "Accept: text/html, */*");
        appendTo(d_->headers, "Accept-Encoding: identity");
        appendTo(d_->headers,
                 "User-Agent: " + (settings.userAgent.isEmpty() ? userAgent : settings.userAgent));
    }
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, d_->headers.get());
    curl_easy_setopt(h, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L);
    applyTransferRules(h, settings, "http,https");
    curl_easy_setopt(h, CURLOPT_COOKIEFILE, "");  // cookies kept for the handle's life
    if (settings.hostGate) {
        // An attempt that makes room at its host must not leave a connection
        // open there: the limit is one of connections, too.
        curl_easy_setopt(h, CURLOPT_FORBID_REUSE, 1L);
    }
    // An aborted transfer must not wait for a name lookup still under way.
    curl_easy_setopt(h, CURLOPT_QUICK_EXIT, 1L);
    // The whole request's limit is kept by perform(), which leaves out any
    // wait for room to hold the page.
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, d_->errorBuffer);
    curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &Impl::onHeader);
    curl_easy_setopt(h, CURLOPT_HEADERDATA, d_.get());
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &Impl::onBody);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, d_.get());
    curl_easy_setopt(h, CURLOPT_SOCKOPTFUNCTION, &Impl::onSocketOpened);
    curl_easy_setopt(h, CURLOPT_SOCKOPTDATA, d_.get());
    curl_easy_setopt(h, CURLOPT_CLOSESOCKETFUNCTION, &Impl::onSocketClosing);
    curl_easy_setopt(h, CURLOPT_CLOSESOCKETDATA, d_.get());
}

HttpClient::~HttpClient() = default;

QByteArray HttpClient::hostOf(const QString& address) const {
    return hostKeyOf(QString::fromLatin1(resolveRequestUrl(address, d_->lastAddress).host));
}

HttpResponse HttpClient::get(const QString& address) {
    Impl& d = *d_;
    d.response = HttpResponse();
    const auto fail = [&d](Kind kind, const QString& error) {
        d.response.reason.kind = kind;
        d.response.error = error;
        return d.response;
    };
    if (!d.easy || !d.multi) {
        return fail(Kind::Connect, QStringLiteral("the HTTP library could not be set up"));
    }
    const RequestUrl url = resolveRequestUrl(address, d.lastAddress);
    if (url.url.isEmpty()) {
        // An address that cannot be parsed fails like a name that cannot be
        // resolved.
        return fail(url.unsupportedScheme ? Kind::Scheme
                    : url.noHost          ? Kind::NoHost
                                          : Kind::Dns,
                    url.error);
    }
    if (d.abortRequested()) {
        return fail(Kind::Aborted, QStringLiteral("aborted"));
    }
    d.lastAddress = url.url;
    d.response.url = url.url;
    curl_easy_setopt(d.easy.get(), CURLOPT_URL, url.url.constData());
    applyHostMapping(d.easy.get(), d.settings, url.host, url.port, d.resolve);
    d.errorBuffer[0] = '\0';
    d.lastByte = Clock::now();
    d.x = {};

    const CURLcode code = d.perform();
    const int status = d.status();
    d.response.status = status;
    // A refused answer keeps its status when its body breaks off.
    const bool refusedStands = d.refused() && d.x.stopKind != Kind::Aborted;
    if (code == CURLE_OK || (code == CURLE_WRITE_ERROR && d.x.stoppedOnPurpose) || refusedStands) {
        d.response.result = d.classify(status);
        if (d.response.result != HttpResponse::Result::Ok) {
            d.response.body.clear();
            d.response.memory.reset();
        } else {
            d.response.challengeMarker = hasChallengeMarker(d.response.body);
        }
        if (d.response.result == HttpResponse::Result::Status) {
            // The marks of a challenge page count on the answers a bot wall
            // gives; a 404 stays a page that is gone.
            const bool wallStatus = status == 403 || status == 429 || status == 503;
            if (d.x.challengeHeader || (wallStatus && hasChallengeMarker(d.x.refusedHead))) {
                d.response.reason = FailureReason(Kind::Challenge, status);
                d.response.error =
                    QStringLiteral("HTTP status %1 from a bot wall's challenge").arg(status);
            } else {
                d.response.reason = FailureReason(Kind::Http, status);
                d.response.reason.retryAfter = retryAfterSeconds(d.x.retryAfter).value_or(-1);
                d.response.error = QStringLiteral("HTTP status %1").arg(status);
            }
        }
        d.x.refusedHead.clear();
        // Moved out: the client keeps no second hold on the page.
        return std::exchange(d.response, HttpResponse());
    }
    d.response.result = HttpResponse::Result::Failed;
    d.response.body.clear();
    d.response.memory.reset();
    const QByteArray libraryText(d.errorBuffer);
    if (!d.x.stopReason.isEmpty()) {
        return fail(d.x.stopKind, d.x.stopReason);
    }
    QString error = libraryText.isEmpty() ? QString::fromUtf8(curl_easy_strerror(code))
                                          : QString::fromUtf8(libraryText);
    Kind kind = kindOf(code);
    if (code == CURLE_OUT_OF_MEMORY) {
        error = QStringLiteral("a response header line is too long to hold");
    } else if (libraryText.startsWith("Too large response headers")) {
        kind = Kind::TooLarge;
    }
    d.response.reason.kind = kind;
    d.response.error = error;
    if (kind == Kind::Tls) {
        static constexpr QByteArrayView kCertificateProblem = "SSL certificate problem: ";
        if (libraryText.startsWith(kCertificateProblem)) {
            d.response.reason.tlsProblem =
                QString::fromUtf8(libraryText.sliced(kCertificateProblem.size()).trimmed());
        } else if (libraryText.contains("target host name")) {
            d.response.reason.tlsProblem =
                QStringLiteral("certificate does not match the host name");
        }
    }
    return d.response;
}

}  // namespace quorvel
