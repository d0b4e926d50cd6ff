#include "checking/robots_txt.h"

#include <QUrl>

#include <algorithm>
#include <string_view>

namespace quorvel {

namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    const char l = char(c | 0x20);
    return l >= 'a' && l <= 'f' ? l - 'a' + 10 : -1;
}

bool isUnreserved(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

void appendEncoded(QByteArray* out, unsigned char c) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    *out += '%';
    *out += kHex[c >> 4];
    *out += kHex[c & 15];
}

// The one form both sides are compared in: an encoded unreserved character
// decoded, every other encoding in upper case, bytes outside printable ASCII
// encoded. In the query, an encoded ":" or "/" is the character itself. In
// an address, "*" and "$" are plain characters, which a pattern can only
// name encoded; in a pattern they are its wildcard and (last) its end.
QByteArray comparedForm(QByteArrayView in, bool pattern) {
    QByteArray out;
    out.reserve(in.size());
    bool query = false;
    for (qsizetype i = 0; i < in.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(in[i]);
        if (c == '%' && i + 2 < in.size() && hexDigit(in[i + 1]) >= 0 && hexDigit(in[i + 2]) >= 0) {
            const auto v =
                static_cast<unsigned char>(hexDigit(in[i + 1]) * 16 + hexDigit(in[i + 2]));
            if (isUnreserved(v) || (query && (v == ':' || v == '/'))) {
                out += char(v);
            } else {
                appendEncoded(&out, v);
            }
            i += 2;
        } else if (c <= 0x20 || c >= 0x7F) {
            appendEncoded(&out, c);
        } else if (!pattern && (c == '*' || c == '$')) {
            appendEncoded(&out, c);
        } else if (pattern && c == '$' && i + 1 != in.size()) {
            appendEncoded(&out, c);
        } else {
            query = query || c == '?';
            out += char(c);
        }
    }
    return out;
}

// Whether `pattern` (compared form) matches `path` (compared form) from its
// start: "*" stands for any text, a final "$" for the end of the path. Each
// literal piece is taken at its first place after the one before, which is
// as good as any place and keeps the match linear.
bool patternMatches(std::string_view pattern, std::string_view path) {
    const bool anchored = !pattern.empty() && pattern.back() == '$';
    if (anchored) {
        pattern.remove_suffix(1);
    }
    size_t star = pattern.find('*');
    const std::string_view first = pattern.substr(0, star);
    if (path.substr(0, first.size()) != first) {
        return false;
    }
    if (star == std::string_view::npos) {
        return !anchored || path.size() == first.size();
    }
    size_t at = first.size();
    for (;;) {
        const size_t from = star + 1;
        const size_t next = pattern.find('*', from);
        const std::string_view piece = pattern.substr(from, next - from);
        if (next == std::string_view::npos) {
            if (anchored) {
                return path.size() >= at + piece.size() &&
                       path.substr(path.size() - piece.size()) == piece;
            }
            return path.find(piece, at) != std::string_view::npos;
        }
        const size_t found = path.find(piece, at);
        if (found == std::string_view::npos) {
            return false;
        }
        at = found + piece.size();
        star = next;
    }
}

// The product token of a user-agent line's value: "*", or its leading
// letters, "_" and "-" in lower case ("Googlebot/2.1" is googlebot).
QByteArray agentToken(QByteArrayView value) {
    if (value.startsWith('*')) {
        return QByteArrayLiteral("*");
    }
    qsizetype end = 0;
    while (end < value.size()) {
        const char c = value[end];
        if (!((c | 0x20) >= 'a' && (c | 0x20) <= 'z') && c != '_' && c != '-') {
            break;
        }
        ++end;
    }
    return value.first(end).toByteArray().toLower();
}

bool isSpace(char c) {
    return c == ' ' || c == '\t';
}

QByteArrayView trimmed(QByteArrayView v) {
    while (!v.isEmpty() && isSpace(v.front())) {
        v = v.sliced(1);
    }
    while (!v.isEmpty() && isSpace(v.back())) {
        v.chop(1);
    }
    return v;
}

}  // namespace

RobotsRules::RobotsRules(QByteArrayView body) {
    body = body.first(std::min(body.size(), kMaxBytes));
    if (body.startsWith("\xEF\xBB\xBF")) {
        body = body.sliced(3);
    }
    bool agentsOpen = false;  // the last line that counted named an agent
    qsizetype i = 0;
    while (i < body.size()) {
        qsizetype end = i;
        while (end < body.size() && body[end] != '\n' && body[end] != '\r') {
            ++end;
        }
        QByteArrayView line = body.sliced(i, end - i);
        i = end + 1;
        if (const qsizetype hash = line.indexOf('#'); hash >= 0) {
            line = line.first(hash);
        }
        const qsizetype colon = line.indexOf(':');
        if (colon < 0) {
            continue;
        }
        const QByteArray key = trimmed(line.first(colon)).toByteArray().toLower();
        const QByteArrayView value = trimmed(line.sliced(colon + 1));
        if (key == "user-agent") {
            QByteArray token = agentToken(value);
            if (token.isEmpty()) {
                continue;
            }
            if (!agentsOpen) {
                groups_.emplace_back();
            }
            groups_.back().agents.push_back(std::move(token));
            agentsOpen = true;
        } else if (key == "allow" || key == "disallow") {
            agentsOpen = false;
            if (groups_.empty() || value.isEmpty()) {
                continue;  // outside any group, or a rule that matches nothing
            }
            // A path that begins neither with "/" nor with "*" is one from the root.
            QByteArray pattern = comparedForm(value, true);
            if (!pattern.startsWith('/') && !pattern.startsWith('*')) {
                pattern.prepend('/');
            }
            groups_.back().rules.push_back({std::move(pattern), key == "allow"});
        }
    }
}

RobotsRules RobotsRules::forSearchEngines(QByteArrayView body) {
    RobotsRules rules(body);
    rules.keepOnly({"googlebot", "yandexbot", "yandex", "*"});
    return rules;
}

void RobotsRules::keepOnly(std::initializer_list<QByteArrayView> agents) {
    std::erase_if(groups_, [&](Group& g) {
        std::erase_if(g.agents, [&](const QByteArray& a) {
            return std::find(agents.begin(), agents.end(), QByteArrayView(a)) == agents.end();
        });
        return g.agents.empty();
    });
}

qint64 RobotsRules::bytes() const {
    qint64 total = 0;
    for (const Group& g : groups_) {
        total += qint64(sizeof(Group));
        for (const QByteArray& a : g.agents) {
            total += a.size() + qint64(sizeof(QByteArray));
        }
        for (const Rule& r : g.rules) {
            total += r.pattern.size() + qint64(sizeof(Rule));
        }
    }
    return total;
}

bool RobotsRules::names(QByteArrayView token) const {
    for (const Group& g : groups_) {
        if (std::find(g.agents.begin(), g.agents.end(), token) != g.agents.end()) {
            return true;
        }
    }
    return false;
}

bool RobotsRules::allows(std::initializer_list<QByteArrayView> tokens,
                         QByteArrayView pathAndQuery) const {
    QByteArrayView agent = "*";
    for (QByteArrayView token : tokens) {
        if (names(token)) {
            agent = token;
            break;
        }
    }
    const QByteArray path =
        comparedForm(pathAndQuery.isEmpty() ? QByteArrayView("/") : pathAndQuery, false);
    if (path == "/robots.txt") {
        return true;
    }
    const std::string_view pathView(path.constData(), size_t(path.size()));
    qsizetype longest = -1;
    bool allowed = true;
    for (const Group& g : groups_) {
        if (std::find(g.agents.begin(), g.agents.end(), agent) == g.agents.end()) {
            continue;
        }
        for (const Rule& rule : g.rules) {
            const qsizetype length = rule.pattern.size();
            if (length < longest || (length == longest && allowed)) {
                continue;  // it could not change the outcome
            }
            if (patternMatches(std::string_view(rule.pattern.constData(), size_t(length)),
                               pathView)) {
                allowed = rule.allow;
                longest = length;
            }
        }
    }
    return allowed;
}

QString robotsForbiddingAgent(const RobotsRules& rules, QByteArrayView pathAndQuery) {
    const bool google = rules.names("googlebot");
    const bool yandex = rules.names("yandexbot") || rules.names("yandex");
    if (!google && !yandex) {
        return rules.allows({}, pathAndQuery) ? QString() : QStringLiteral("*");
    }
    if (!rules.allows({"googlebot"}, pathAndQuery)) {
        return QStringLiteral("Googlebot");
    }
    if (!rules.allows({"yandexbot", "yandex"}, pathAndQuery)) {
        return QStringLiteral("Yandex");
    }
    return QString();
}

QByteArray robotsPathOf(QStringView address) {
    const QUrl url(address.toString());
    QByteArray path = url.path(QUrl::FullyEncoded).toLatin1();
    if (path.isEmpty()) {
        path = "/";
    }
    if (url.hasQuery()) {
        path += '?' + url.query(QUrl::FullyEncoded).toLatin1();
    }
    return path;
}

}  // namespace quorvel
