#pragma once

#include <QHash>
#include <QString>

#include <condition_variable>
#include <memory>
#include <mutex>

#include "checking/http_client.h"
#include "checking/robots_txt.h"

namespace quorvel {

// What a site's robots.txt says of one of its pages.
struct RobotsVerdict {
    // The file was read, or the site has none (a 4xx answer). Not known after
    // a 5xx answer, a timeout, an unreachable host or a bot wall: then the
    // file says nothing, and the check is no worse for it.
    bool known = false;
    QString agent;  // known: the search engine it forbids the page to; empty: allowed
};

// The robots.txt files of one run, each site's fetched at most once however
// many of its pages are checked (whoever asks first fetches, the others
// wait). What a file keeps is only the groups the verdict reads, within a
// byte budget for the run; a site whose file is past the budget is not known
// to later pages. Thread-safe.
class RobotsFiles {
  public:
    static constexpr qint64 kDefaultBudget = qint64(64) * 1024 * 1024;

    explicit RobotsFiles(qint64 budget = kDefaultBudget) : budget_(budget) {}

    // The verdict for the page at `pageAddress` (absolute, as it was
    // finally fetched), its site's file fetched with `settings` (its limits,
    // user agent, host mappings, per-host gate and abort flag) and read up
    // to 500 KiB.
    RobotsVerdict verdictFor(const QString& pageAddress, const FetchSettings& settings);

  private:
    struct File {
        enum class State { Fetching, Known, Unknown };
        State state = State::Fetching;
        RobotsRules rules;
    };

    const qint64 budget_;
    std::mutex mutex_;
    std::condition_variable done_;
    QHash<QString, std::shared_ptr<File>> files_;  // by "scheme://host:port"
    qint64 bytes_ = 0;
};

}  // namespace quorvel
