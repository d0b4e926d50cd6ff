#include "checking/text_helpers.h"

#include <QVarLengthArray>

namespace quorvel {

void lowerRuLatInto(QStringView text, char16_t* out) {
    const char16_t* in = text.utf16();
    const qsizetype n = text.size();
    // Branch-free so that the compiler can vectorise it: pages are lower-cased whole.
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = in[i];
        const unsigned latin = unsigned(c - u'A') < 26u;
        const unsigned russian = unsigned(c - 0x0410u) < 32u;
        const unsigned yo = c == 0x0401;
        out[i] = char16_t(c + ((latin | russian) << 5) + yo * 0x50);
    }
}

QString ToLowerRuLat(QStringView text) {
    QString out(text.size(), Qt::Uninitialized);
    lowerRuLatInto(text, reinterpret_cast<char16_t*>(out.data()));
    return out;
}

QStringView withoutSchemeAndWww(QStringView text) {
    if (text.startsWith(u"http://")) {
        text = text.sliced(7);
    }
    if (text.startsWith(u"https://")) {
        text = text.sliced(8);
    }
    if (text.startsWith(u"www.")) {
        text = text.sliced(4);
    }
    return text;
}

QStringView siteKeyOf(QStringView url) {
    const QStringView key = withoutSchemeAndWww(url);
    const qsizetype slash = key.lastIndexOf(u'/');
    return slash >= 0 ? key.first(slash) : key;
}

QString SiteKey(QStringView url) {
    QString slashed = url.toString();
    slashed.replace(u'\\', u'/');
    return siteKeyOf(slashed).toString();
}

bool IsAnchorTag(QStringView tagText, QStringView name) {
    const QString probe = u' ' + ToLowerRuLat(name) + u' ';
    // The tag text lower-cased, padded with a space at either end, slashes removed.
    QVarLengthArray<char16_t, 1280> text;
    text.reserve(tagText.size() + 2);
    text.append(u' ');
    for (const QChar ch : tagText) {
        if (ch != u'/') {
            text.append(lowerRuLatChar(ch.unicode()));
        }
    }
    text.append(u' ');
    if (!QStringView(text.constData(), text.size()).contains(probe)) {
        return false;
    }
    // Drop double-quoted parts in place: an opening quote and everything up
    // to the closing quote go, the closing quote itself stays.
    qsizetype kept = 0;
    bool outside = true;
    for (const char16_t c : text) {
        if (c == u'"') {
            outside = !outside;
        }
        if (outside) {
            text[kept++] = c;
        }
    }
    return QStringView(text.constData(), kept).contains(probe);
}

}  // namespace quorvel
