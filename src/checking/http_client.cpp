#include "checking/http_client.h"

#include <curl/curl.h>

#include <chrono>
#include <mutex>

#ifdef Q_OS_WIN
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#endif

#include "checking/address.h"

namespace quorvel {

namespace {

using Clock = std::chrono::steady_clock;

struct EasyDeleter {
    void operator()(CURL* h) const { curl_easy_cleanup(h); }
};
struct MultiDeleter {
    void operator()(CURLM* m) const { curl_multi_cleanup(m); }
};
struct ListDeleter {
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};

void appendTo(std::unique_ptr<curl_slist, ListDeleter>& list, const QByteArray& line) {
    curl_slist* grown = curl_slist_append(list.get(), line.constData());
    if (grown) {
        list.release();
        list.reset(grown);
    }
}

bool startsWithNoCase(QByteArrayView line, QByteArrayView prefix) {
    return line.size() >= prefix.size() &&
           line.first(prefix.size()).compare(prefix, Qt::CaseInsensitive) == 0;
}

bool isPort(QStringView text) {
    if (text.isEmpty()) {
        return false;
    }
    int value = 0;
    for (const QChar ch : text) {
        if (ch < u'0' || ch > u'9') {
            return false;
        }
        value = value * 10 + (ch.unicode() - u'0');
        if (value > 65535) {
            return false;
        }
    }
    return value > 0;
}

// libcurl reads a mapped address with inet_pton, so the same call decides here.
bool isNumericAddress(QStringView text) {
    if (text.size() >= 2 && text.startsWith(u'[') && text.endsWith(u']')) {
        text = text.sliced(1, text.size() - 2);
    }
    if (text.isEmpty()) {
        return false;
    }
    for (const QChar ch : text) {
        const char16_t c = ch.unicode();
        const bool hex =
            (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
        if (!hex && c != u'.' && c != u':') {
            return false;  // also keeps a NUL from cutting the text short
        }
    }
    const QByteArray ascii = text.toLatin1();
    unsigned char buffer[16];
    return inet_pton(AF_INET, ascii.constData(), buffer) == 1 ||
           inet_pton(AF_INET6, ascii.constData(), buffer) == 1;
}

}  // namespace

bool isValidResolveEntry(QStringView entry) {
    if (entry.startsWith(u'+')) {
        entry = entry.sliced(1);  // a mapping that expires like a looked-up name
    } else if (entry.startsWith(u'-')) {
        return false;  // "-HOST:PORT" removes a mapping: it maps nothing
    }
    const qsizetype hostEnd = entry.indexOf(u':');
    if (hostEnd <= 0) {
        return false;
    }
    const QStringView host = entry.first(hostEnd);
    if (host.contains(QChar(u'\0')) || host.toUtf8().size() > 255) {
        return false;  // libcurl keeps the host in a 256-byte C string
    }
    const QStringView rest = entry.sliced(hostEnd + 1);
    const qsizetype portEnd = rest.indexOf(u':');
    if (portEnd < 0 || !isPort(rest.first(portEnd))) {
        return false;
    }
    for (const QStringView address : rest.sliced(portEnd + 1).split(u',')) {
        if (!isNumericAddress(address)) {
            return false;
        }
    }
    return true;
}

void initNetwork() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct HttpClient::Impl {
    FetchSettings settings;
    std::unique_ptr<CURL, EasyDeleter> easy;
    std::unique_ptr<CURLM, MultiDeleter> multi;
    std::unique_ptr<curl_slist, ListDeleter> headers;
    std::unique_ptr<curl_slist, ListDeleter> resolve;
    QByteArray lastAddress;
    char errorBuffer[CURL_ERROR_SIZE] = {};

    // The response under way.
    HttpResponse response;
    Clock::time_point lastByte;
    bool bodyDecided = false;  // whether the body is wanted has been decided
    bool stoppedOnPurpose = false;
    QString stopReason;

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
        } else if (startsWithNoCase(line, "X-Robots-Tag:")) {
            d->response.robotsTags += line.sliced(13).trimmed().toByteArray();
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
        if (!d->bodyDecided) {
            d->bodyDecided = true;
            long status = 0;
            curl_easy_getinfo(d->easy.get(), CURLINFO_RESPONSE_CODE, &status);
            if (d->classify(int(status)) != HttpResponse::Result::Ok) {
                d->stoppedOnPurpose = true;  // the body is of no use: stop reading
                return 0;
            }
        }
        if (d->response.body.size() + qint64(n) > d->settings.maxBodyBytes) {
            d->stopReason =
                QStringLiteral("the body is larger than %1 bytes").arg(d->settings.maxBodyBytes);
            return 0;
        }
        d->response.body.append(data, qsizetype(n));
        return n;
    }

    HttpResponse::Result classify(int status) const {
        if ((status >= 300 && status <= 399 && status != 304) ||
            (!response.location.isEmpty() && status != 201)) {
            return HttpResponse::Result::Redirect;
        }
        return status >= 200 && status <= 299 ? HttpResponse::Result::Ok
                                              : HttpResponse::Result::Status;
    }

    bool abortRequested() const { return settings.abort && settings.abort->isSet(); }

    // Runs the transfer on the multi handle, so that the abort flag and the
    // stall limit are checked every few milliseconds.
    CURLcode perform() {
        CURLM* m = multi.get();
        curl_multi_add_handle(m, easy.get());
        CURLcode result = CURLE_OK;
        int running = 1;
        while (running > 0) {
            if (curl_multi_perform(m, &running) != CURLM_OK) {
                result = CURLE_FAILED_INIT;
                break;
            }
            if (running == 0) {
                break;
            }
            if (abortRequested()) {
                stopReason = QStringLiteral("aborted");
                result = CURLE_ABORTED_BY_CALLBACK;
                break;
            }
            if (Clock::now() - lastByte > std::chrono::milliseconds(settings.stallTimeoutMs)) {
                stopReason = QStringLiteral("no data for %1 ms").arg(settings.stallTimeoutMs);
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
    // The request carries exactly these headers, in this order, after Host.
    appendTo(d_->headers, "Accept: text/html, */*");
    appendTo(d_->headers, "Accept-Encoding: identity");
    appendTo(d_->headers, "User-Agent: " + userAgent);
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, d_->headers.get());
    curl_easy_setopt(h, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_PROXY, "");       // never a proxy from the environment
    curl_easy_setopt(h, CURLOPT_COOKIEFILE, "");  // cookies kept for the handle's life
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    if (settings.hostGate) {
        // An attempt that makes room at its host must not leave a connection
        // open there: the limit is one of connections, too.
        curl_easy_setopt(h, CURLOPT_FORBID_REUSE, 1L);
    }
    // An aborted transfer must not wait for a name lookup still under way.
    curl_easy_setopt(h, CURLOPT_QUICK_EXIT, 1L);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, long(settings.connectTimeoutMs));
    curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, long(settings.totalTimeoutMs));
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!settings.caFile.isEmpty()) {
        curl_easy_setopt(h, CURLOPT_CAINFO, settings.caFile.toLocal8Bit().constData());
    }
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, d_->errorBuffer);
    curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &Impl::onHeader);
    curl_easy_setopt(h, CURLOPT_HEADERDATA, d_.get());
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &Impl::onBody);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, d_.get());
}

HttpClient::~HttpClient() = default;

HttpResponse HttpClient::get(const QString& address) {
    Impl& d = *d_;
    d.response = HttpResponse();
    if (!d.easy || !d.multi) {
        d.response.error = QStringLiteral("the HTTP library could not be set up");
        return d.response;
    }
    const RequestUrl url = resolveRequestUrl(address, d.lastAddress);
    if (url.url.isEmpty()) {
        d.response.error = url.error;
        return d.response;
    }
    if (d.abortRequested()) {
        d.response.error = QStringLiteral("aborted");
        return d.response;
    }
    d.lastAddress = url.url;
    curl_easy_setopt(d.easy.get(), CURLOPT_URL, url.url.constData());
    // Only this request's own host mapping, whatever the number of mappings.
    const QByteArray mapping = d.settings.resolve.entryFor(url.host, url.port);
    d.resolve.reset();
    if (!mapping.isEmpty()) {
        appendTo(d.resolve, mapping);
    }
    curl_easy_setopt(d.easy.get(), CURLOPT_RESOLVE, d.resolve.get());
    d.errorBuffer[0] = '\0';
    d.lastByte = Clock::now();
    d.bodyDecided = false;
    d.stoppedOnPurpose = false;
    d.stopReason.clear();

    const CURLcode code = d.perform();
    long status = 0;
    curl_easy_getinfo(d.easy.get(), CURLINFO_RESPONSE_CODE, &status);
    d.response.status = int(status);
    if (code == CURLE_OK || (code == CURLE_WRITE_ERROR && d.stoppedOnPurpose)) {
        d.response.result = d.classify(int(status));
        if (d.response.result != HttpResponse::Result::Ok) {
            d.response.body.clear();
        }
        if (d.response.result == HttpResponse::Result::Status) {
            d.response.error = QStringLiteral("HTTP status %1").arg(status);
        }
        return d.response;
    }
    d.response.result = HttpResponse::Result::Failed;
    d.response.body.clear();
    if (!d.stopReason.isEmpty()) {
        d.response.error = d.stopReason;
    } else if (d.errorBuffer[0] != '\0') {
        d.response.error = QString::fromUtf8(d.errorBuffer);
    } else {
        d.response.error = QString::fromUtf8(curl_easy_strerror(code));
    }
    return d.response;
}

}  // namespace quorvel
