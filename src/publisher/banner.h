#pragma once

#include <QImage>
#include <QString>

#include <functional>
#include <memory>

#include "checking/http_client.h"
#include "publisher/publisher_sites.h"

namespace quorvel {

// What the banner thread puts on the window. Every call but postToUiThread
// runs on the UI thread.
class BannerWindow {
  public:
    virtual ~BannerWindow() = default;
    virtual void postToUiThread(std::function<void()> task) = 0;  // from the banner thread
    virtual void setBannerPicture(const QImage& picture) = 0;
    virtual void setBannerHint(const QString& hint) = 0;
    virtual void setBannerLink(const QString& link) = 0;
    virtual void setLaunchCount(const QString& text) = 0;
    virtual void onBannerThreadEnded() {}
};

// A banner answer is small: a request stops as soon as its body passes this.
inline constexpr qint64 kBannerMaxBytes = qint64(1) * 1024 * 1024;

// The window's own client for the four banner and counter requests: its own
// user agent, no redirects followed, cookies kept for its life, and bodies
// cut off at kBannerMaxBytes whatever `settings` says.
std::unique_ptr<HttpClient> makeBannerClient(FetchSettings settings);

// The banner area's size: a larger picture is cut off.
inline constexpr int kBannerWidth = 476;
inline constexpr int kBannerHeight = 61;

// The body of a text answer, in the charset that its Content-Type names, or
// one character per byte (ISO-8859-1) when it names none the client knows.
QString decodeTextAnswer(const QByteArray& body, const QByteArray& contentType);

// The banner thread: the banner picture, the banner text and the launch
// counter, in that order, each failing silently on its own. `client` is the
// window's own client (no redirects followed, cookies kept for its life).
class loaddata {
  public:
    loaddata(HttpClient& client, BannerWindow& window, PublisherSites sites);
    void run();

  private:
    void bannerPicture();
    void bannerText();
    void launchCounter();

    HttpClient& client_;
    BannerWindow& window_;
    PublisherSites sites_;
};

}  // namespace quorvel
