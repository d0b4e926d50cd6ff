#pragma once

#include <QList>
#include <QString>

#include "checking/http_client.h"

namespace quorvel {

// One attempt of a fetch, as it ended.
struct FetchAttempt {
    QString address;       // the address the attempt began with
    FailureReason reason;  // kind None when it succeeded
    QString error;         // why it failed, in words
};

struct FetchResult {
    bool success = false;
    QString pageText;              // only on success
    QString firstAddress;          // the partner URL after the scheme rule
    QString finalAddress;          // on success: where the page came from, redirects followed
    QString error;                 // why the last attempt failed
    QList<QByteArray> robotsTags;  // the X-Robots-Tag values of the page's response
    QList<QByteArray> links;       // the Link values of the page's response
    bool challengeMarker = false;  // the page carries a mark of a bot wall's challenge
    QList<FetchAttempt> attempts;  // the first, and the second when there was one
    // With settings.pageMemory: the room the page text holds there until the
    // last copy of this result goes.
    std::shared_ptr<PageLease> memory;
};

// Downloads a partner page: the first address, and only if that fails, once
// more at the second address, with one client (cookies and the last address
// carry over). Up to 14 redirects are followed per attempt; a 15th fails it,
// and so does a redirect without a Location or from https to http. Only a
// final status from 200 to 299 succeeds; its body becomes the page text.
// With a host gate in the settings, each attempt first waits for room at the
// host of its address and makes room when it ends; `admittedHost` names a
// host that the caller has already been let in for, for the first attempt.
FetchResult FetchPage(const QString& partnerUrl, const FetchSettings& settings = {},
                      const QByteArray& admittedHost = {});

// The User-Agent and Accept-Language values a page's request sends with
// these settings (no Accept-Language without the browser's headers): what a
// browser that looks at the page once more should send too.
QByteArray pageUserAgent(const FetchSettings& settings);
QByteArray pageAcceptLanguage(const FetchSettings& settings);

// Downloads one more file of a site (its robots.txt) the way a page's
// attempt goes: one client with the settings' user agent, redirects followed
// by the same rules, within the per-host limit. `response` gets the final
// answer; the attempt says why there is none.
FetchAttempt fetchSiteFile(const QString& address, const FetchSettings& settings,
                           HttpResponse* response);

}  // namespace quorvel
