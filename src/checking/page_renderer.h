#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "checking/abort_flag.h"
#include "checking/page_signals.h"

namespace quorvel {

// The browser that renders pages whose links a script writes: the headless
// shell itself, not its wrapper script, which does not hand over its process
// and so would leave the browser's children behind when it is killed.
inline constexpr char kHeadlessBrowser[] = "/usr/lib/chromium/chromium-headless-shell";
// The Debian package that brings it.
inline constexpr char kHeadlessBrowserPackage[] = "chromium-headless-shell";

struct RenderSettings {
    QString browser = QString::fromLatin1(kHeadlessBrowser);
    QByteArray userAgent;       // empty: the browser's own
    QByteArray acceptLanguage;  // an Accept-Language value; empty: the browser's own
    QStringList resolve;        // host mappings in --resolve's form
    // The browser's own limits: the scripts' time, and the time after which
    // it stops loading and takes the document as it is.
    int virtualTimeBudgetMs = 5000;
    int pageTimeoutMs = 15000;
    // The browser's whole process group is killed when this has passed.
    std::chrono::milliseconds killAfter{30000};
    qint64 maxOutputBytes = qint64(16) * 1024 * 1024;
    QString tempDir;  // where profiles are made; empty: the system's
    const AbortFlag* abort = nullptr;
};

struct RenderResult {
    bool success = false;
    QString pageText;  // the rendered document, decoded like a page body
    QString error;     // why there is none ("timed out after 30 s", "exit code 1", ...)
};

// Whether the browser of the settings is there to be run.
bool rendererAvailable(const RenderSettings& settings);

// The browser's --host-resolver-rules for mappings in --resolve's form
// ("host:port:address" becomes "MAP host:port address").
QString hostResolverRules(const QStringList& resolve);

// The browser's --accept-lang for an Accept-Language value: its languages
// without their weights.
QString acceptLangOf(const QByteArray& acceptLanguage);

// Loads pages in a real browser and takes the document it has built after
// the scripts ran: one browser per page, in a process group of its own and
// with a fresh profile in a temporary directory, both gone when the page is
// done. At most `workers` browsers run at once, whichever threads ask.
class PageRenderer {
  public:
    PageRenderer(RenderSettings settings, int workers);
    PageRenderer(const PageRenderer&) = delete;
    PageRenderer& operator=(const PageRenderer&) = delete;

    // Thread-safe; waits while `workers` other pages are being rendered.
    RenderResult render(const QString& url);

  private:
    RenderResult renderOne(const QString& url) const;

    const RenderSettings settings_;
    const int workers_;
    std::mutex mutex_;
    std::condition_variable freed_;
    int running_ = 0;
};

// A page that lacked the link looked at once more, rendered: RenderedFound
// or RenderedHidden when the scanner's rules find `link` (QV_6) there, 0
// when they do not or the browser gave nothing; then `failure` says why.
PageSignals renderedSignals(PageRenderer& renderer, const QString& pageAddress, const QString& link,
                            const QString& partnerUrl, QString* failure);

}  // namespace quorvel
