// robots.txt on any bytes: the first line is the page's path, the second a
// path pattern, the rest the file. Reading and matching must never crash or
// run away, the file itself is always allowed, and a pattern of plain
// characters matches exactly where the plain reading of "*" and "$" says.
#include <QByteArray>
#include <QByteArrayView>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "checking/robots_txt.h"

using namespace quorvel;

namespace {

QByteArrayView takeLine(QByteArrayView& data) {
    const qsizetype nl = data.indexOf('\n');
    const QByteArrayView line = nl < 0 ? data : data.first(nl);
    data = nl < 0 ? QByteArrayView() : data.sliced(nl + 1);
    return line;
}

bool isPlain(QByteArrayView text) {
    for (const char c : text) {
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '/' || c == '.' ||
              c == '-' || c == '_')) {
            return false;
        }
    }
    return true;
}

// Whether `pattern` matches the start of `path` (the whole of it with a
// final "$"), "*" standing for any text: by the table of every pair of
// positions.
bool plainMatch(QByteArrayView pattern, QByteArrayView path) {
    const bool anchored = pattern.endsWith('$');
    if (anchored) {
        pattern.chop(1);
    }
    const qsizetype m = pattern.size();
    const qsizetype n = path.size();
    // at[j]: the first i pattern characters match the first j path characters.
    std::vector<char> at(size_t(n + 1), 0);
    at[0] = 1;
    for (qsizetype i = 0; i < m; ++i) {
        std::vector<char> next(size_t(n + 1), 0);
        for (qsizetype j = 0; j <= n; ++j) {
            if (pattern[i] == '*') {
                next[size_t(j)] = at[size_t(j)] || (j > 0 && next[size_t(j - 1)]);
            } else if (j > 0) {
                next[size_t(j)] = at[size_t(j - 1)] && path[j - 1] == pattern[i];
            }
        }
        at.swap(next);
    }
    if (anchored) {
        return at[size_t(n)] != 0;
    }
    for (const char reached : at) {
        if (reached) {
            return true;
        }
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    QByteArrayView data(reinterpret_cast<const char*>(bytes), qsizetype(size));
    const QByteArrayView path = takeLine(data);
    const QByteArrayView pattern = takeLine(data);

    const RobotsRules rules(data);
    const QString agent = robotsForbiddingAgent(rules, path);
    if (!agent.isEmpty() && agent != u"*" && agent != u"Googlebot" && agent != u"Yandex") {
        std::abort();
    }
    if (!rules.allows({"googlebot"}, "/robots.txt") || !rules.allows({}, "/robots.txt")) {
        std::abort();
    }

    QByteArrayView plainPattern = pattern;
    if (plainPattern.endsWith('$')) {
        plainPattern.chop(1);
    }
    QByteArray stars = plainPattern.toByteArray();
    stars.replace('*', "");
    if (path.startsWith('/') && path != "/robots.txt" && isPlain(path) && isPlain(stars) &&
        (pattern.startsWith('/') || pattern.startsWith('*')) && pattern.size() <= 64 &&
        path.size() <= 256) {
        const QByteArray file = "User-agent: *\nDisallow: " + pattern.toByteArray() + "\n";
        const RobotsRules one(file);
        if (one.allows({}, path) == plainMatch(pattern, path)) {
            std::abort();
        }
    }
    return 0;
}
