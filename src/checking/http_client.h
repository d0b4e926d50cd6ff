#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <memory>

#include "checking/abort_flag.h"
#include "checking/failure_reason.h"
#include "checking/host_mappings.h"

namespace quorvel {

class HostGate;
class PageLease;
class PageMemory;

// A page body larger than this fails the attempt; saved pages get the same cap.
inline constexpr qint64 kMaxPageBytes = qint64(16) * 1024 * 1024;

// Limits and test hooks of every request. The defaults are the program's own.
struct FetchSettings {
    HostMappings resolve;  // as curl's --resolve (see parseHostMapping)
    QString caFile;        // trust these CA certificates instead of the system's
    int connectTimeoutMs = 15000;
    int stallTimeoutMs = 30000;  // no byte received for this long
    int totalTimeoutMs = 60000;
    qint64 maxBodyBytes = kMaxPageBytes;  // counted after any decoding
    bool cutBodyAtLimit = false;          // a longer body is cut there instead of failing
    const AbortFlag* abort = nullptr;     // set: the request ends at once, failed
    // Unattended checks only: another User-Agent, and the whole header set of
    // a desktop browser (compressed bodies accepted and decoded).
    QByteArray userAgent;
    bool browserHeaders = false;
    HostGate* hostGate = nullptr;  // FetchPage: each attempt waits for room at its host
    // A page's body and text take room here from its first byte on; a
    // download waits (paused, its time limits stopped) while there is none.
    PageMemory* pageMemory = nullptr;
};

// The browser whose request browserHeaders sends.
inline constexpr char kBrowserUserAgent[] =
    "Mozilla/5.0 (Windows NT 10.0; Win64; x64; rv:128.0) Gecko/20100101 Firefox/128.0";
// That request's header lines after Host, in the browser's order; an empty
// `userAgent` is the browser's own.
QList<QByteArray> browserHeaderLines(const QByteArray& userAgent);

// Global set-up of the HTTP library; call once before any thread starts.
void initNetwork();

struct HttpResponse {
    enum class Result {
        Ok,        // a status from 200 to 299; `body` holds the body
        Redirect,  // a 300s status other than 304, or a Location (not with 201)
        Status,    // any other status
        Failed,    // no usable response; `error` says why
    };
    Result result = Result::Failed;
    int status = 0;
    QByteArray url;  // what was requested, when the address could be resolved
    QByteArray body;
    QByteArray location;
    QByteArray contentType;
    QList<QByteArray> robotsTags;  // every X-Robots-Tag header value
    QList<QByteArray> links;       // every Link header value
    QString error;
    FailureReason reason;  // for Status and Failed
    // A 200 page that carries a mark of a bot wall's challenge (it is
    // scanned all the same).
    bool challengeMarker = false;
    // Ok with settings.pageMemory: the room the page holds there, given back
    // when the last copy of this goes.
    std::shared_ptr<PageLease> memory;
};

// One HTTP client: a cookie store and the address it requested last, kept for
// its lifetime. It sends exactly "GET <path> HTTP/1.1" with the headers Host,
// Accept "text/html, */*", Accept-Encoding "identity" and User-Agent (plus a
// Cookie header when its store holds cookies for the address), or a desktop
// browser's headers when the settings ask for them; speaks only http and
// https, follows no redirect and takes no proxy from the environment. A
// response with the header "cf-mitigated: challenge" is a failure whatever
// its status. Not for use from two threads at once.
class HttpClient {
  public:
    HttpClient(const QByteArray& userAgent, const FetchSettings& settings);
    ~HttpClient();
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;

    // One request. An address without a scheme is resolved against the
    // address requested last. The body of a response that is not Ok is not
    // kept: of a refused answer only its start is looked at (for at most a few
    // seconds) to tell a bot wall from a dead page.
    HttpResponse get(const QString& address);
    // The host get(address) would ask now, in the form hosts are compared in
    // (hostKeyOf), or an empty text when the address cannot be requested.
    QByteArray hostOf(const QString& address) const;

  private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};

}  // namespace quorvel
