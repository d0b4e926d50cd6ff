#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <initializer_list>
#include <vector>

namespace quorvel {

// A site's robots.txt, read as RFC 9309 says: groups of rules by user agent
// (several groups for one agent are one), Allow and Disallow paths with "*"
// for any text and "$" for the end, the longest matching path winning and
// Allow winning a tie, percent-encoding compared in one form. Only the first
// 500 KiB of a file count.
class RobotsRules {
  public:
    static constexpr qsizetype kMaxBytes = 500 * 1024;

    RobotsRules() = default;
    explicit RobotsRules(QByteArrayView body);
    // Only the groups robotsForbiddingAgent reads: those of Googlebot,
    // Yandex and "*" (a hostile file's other groups take no memory).
    static RobotsRules forSearchEngines(QByteArrayView body);

    qint64 bytes() const;  // about what the rules take in memory

    // Whether a group names this product token (lower case).
    bool names(QByteArrayView token) const;
    // Whether the rules allow `pathAndQuery` ("/dir/page?x=1", as sent) to a
    // crawler: the group of the first of `tokens` (most specific first) that
    // the file names, else the "*" group; no group at all allows everything.
    bool allows(std::initializer_list<QByteArrayView> tokens, QByteArrayView pathAndQuery) const;

  private:
    void keepOnly(std::initializer_list<QByteArrayView> agents);

    struct Rule {
        QByteArray pattern;  // in the compared form, "*" and a final "$" kept
        bool allow = false;
    };
    struct Group {
        std::vector<QByteArray> agents;  // product tokens in lower case, or "*"
        std::vector<Rule> rules;
    };
    std::vector<Group> groups_;
};

// The search engine that robots.txt forbids a page to: "Googlebot", else
// "Yandex" (its main crawler's group, else its own); "*" when the file names
// neither and its "*" group forbids the page; empty when the page is allowed.
QString robotsForbiddingAgent(const RobotsRules& rules, QByteArrayView pathAndQuery);

// The path and query of an absolute address as robots.txt rules are matched
// against them ("/" when it has no path).
QByteArray robotsPathOf(QStringView address);

}  // namespace quorvel
