#pragma once

#include <QString>

#include "checking/http_client.h"

namespace quorvel {

struct FetchResult {
    bool success = false;
    QString pageText;              // only on success
    QString firstAddress;          // the partner URL after the scheme rule
    QString error;                 // why the last attempt failed
    QList<QByteArray> robotsTags;  // the X-Robots-Tag values of the page's response
};

// Downloads a partner page: the first address, and only if that fails, once
// more at the second address, with one client (cookies and the last address
// carry over). Up to 14 redirects are followed per attempt; a 15th fails it.
// Only a final status from 200 to 299 succeeds; its body becomes the page text.
// With a host gate in the settings, each attempt first waits for room at the
// host of its address and makes room when it ends; `admittedHost` names a
// host that the caller has already been let in for, for the first attempt.
FetchResult FetchPage(const QString& partnerUrl, const FetchSettings& settings = {},
                      const QByteArray& admittedHost = {});

}  // namespace quorvel
