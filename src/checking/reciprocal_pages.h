#pragma once

#include <QHash>
#include <QString>
#include <QStringView>

#include <condition_variable>
#include <memory>
#include <mutex>

#include "checking/check_outcome.h"
#include "checking/http_client.h"
#include "checking/link_scanner.h"

namespace quorvel {

// The user's own pages (QV_4) of one run, each fetched once however many
// records name it and whatever its size: a record looks on it for a link to
// its partner's site. What a page keeps for the rest of the run is only what
// any key needs (its anchors in order, each with whether it is hidden), not
// the page. Thread-safe: a worker that needs a page another worker is
// fetching waits.
class ReciprocalPages {
  public:
    // Whether the page at `ownPage` links to the partner's site (`partnerUrl`,
    // as in QV_U): Found or Hidden by the scanner's rules, Missing, or
    // FetchFailed. None when the download was cut off by the abort flag of
    // `settings`.
    CheckStatus check(const QString& ownPage, QStringView partnerUrl,
                      const FetchSettings& settings);

  private:
    struct Page {
        enum class State { Fetching, Loaded, Failed, CutOff };
        State state = State::Fetching;
        PageAnchors anchors;
    };

    mutable std::mutex mutex_;
    std::condition_variable done_;
    QHash<QString, std::shared_ptr<Page>> pages_;
};

// The key by which a page is searched for a link to the partner: QV_U after
// the scheme rule, lower-cased, without its scheme and a leading "www.", cut
// at the first "/" ("http://www.Partner.ru/catalog/links.html" gives
// "partner.ru").
QString partnerKeyOf(QStringView partnerUrl);

}  // namespace quorvel
