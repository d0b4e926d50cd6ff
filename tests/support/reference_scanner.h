#pragma once

#include <QStringView>

#include "checking/link_scanner.h"

namespace quorvel::test {

// The link scanner written as plainly as its rules read: the whole page
// lower-cased, every position visited, every tag searched character by
// character. Slow, and the yardstick for the real one.
LinkScanResult referenceScanLinks(QStringView pageText, QStringView yourLink,
                                  QStringView partnerUrl, bool listMode);

}  // namespace quorvel::test
