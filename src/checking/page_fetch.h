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
    QString error;                 // why the last attempt failed
    QList<QByteArray> robotsTags;  // the X-Robots-Tag values of the page's response
    bool challengeMarker = false;  // the page carries a mark of a bot wall's challenge
    QList<FetchAttempt> attempts;  // the first, and the second when there was one
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

}  // namespace quorvel
