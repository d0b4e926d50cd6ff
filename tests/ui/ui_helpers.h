#pragma once

#include <QString>

#include <functional>

namespace quorvel::test {

// Processes events until `done` holds or `ms` have passed; returns `done()`.
bool waitUntil(const std::function<bool()>& done, int ms = 10000);

// A record line with the partner page, your link and the maximum.
QString recordLine(const QString& partnerUrl, const QString& yourLink = {},
                   const QString& maximum = QStringLiteral("5"), const QString& notes = {});

}  // namespace quorvel::test
