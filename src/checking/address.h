#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <optional>

#include "checking/failure_reason.h"

namespace quorvel {

// The partner URL as first requested: "http://" in front unless its
// lower-cased text begins with "http".
QString firstAddressOf(QStringView partnerUrl);

// The variant tried once when the first address fails: "http://" and then
// "https://" taken off the front, then "http://www." put in front unless the
// text begins with "www.". It may lack a scheme. When the first address begins
// with "https://" in any letter case, "https://www." is put in front instead,
// so an https address is never tried again over plain http.
QString secondAddressOf(QStringView firstAddress);

struct RequestUrl {
    QByteArray url;                  // ASCII: host in IDNA form, other non-ASCII percent-encoded
    QByteArray host;                 // of `url`, lower case, as the HTTP library asks for it
    int port = 0;                    // of `url`, the scheme's own when it names none
    QString error;                   // why there is none, when `url` is empty
    bool unsupportedScheme = false;  // the reason is a scheme other than http and https
    bool noHost = false;             // the reason is that the address names no host
};

// A host in the one form in which hosts are compared (the per-host limit,
// host mappings): lower case, IDN as punycode as a request writes it, no
// trailing dot, so that "Partner.test.", "partner.test" and their Unicode
// spelling are one host. A text that is no host name is only lower-cased.
QByteArray hostKeyOf(QStringView host);

// The URL to request for an address text. Backslashes read as slashes. A text
// that begins with a scheme and "://" stands on its own (only http and https
// are accepted, in any letter case); any other text is a relative reference,
// resolved against `base` (the address requested last), and fails without one.
RequestUrl resolveRequestUrl(QStringView address, const QByteArray& base);

// Why a partner address cannot be asked for at all, decided before any
// request: a scheme of its own other than http and https ("ftp://x/", which
// the first address would turn into a request for a host named "ftp"), or
// no host ("", "http://", "http://:80/"). Such an address gets no lookup and
// no second try; nothing for any other address.
std::optional<FailureReason> unaskableAddress(QStringView partnerUrl);

}  // namespace quorvel
