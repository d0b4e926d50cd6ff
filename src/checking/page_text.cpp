#include "checking/page_text.h"

#include "records/text_decoding.h"

namespace quorvel {

void normalizeLineEnds(QString& text) {
    const qsizetype nul = text.indexOf(QChar(u'\0'));
    if (nul >= 0) {
        text.truncate(nul);
    }
    const qsizetype n = text.size();
    if (n == 0) {
        return;
    }
    // How much the text grows: a CR for every lone LF, an LF for every lone
    // CR, and a whole line end after a last line without one.
    qsizetype grows = 0;
    {
        const auto* in = reinterpret_cast<const char16_t*>(text.constData());
        for (qsizetype i = 0; i < n; ++i) {
            if (in[i] == u'\n') {
                grows += i == 0 || in[i - 1] != u'\r';
            } else if (in[i] == u'\r') {
                grows += i + 1 == n || in[i + 1] != u'\n';
            }
        }
        grows += in[n - 1] == u'\r' || in[n - 1] == u'\n' ? 0 : 2;
    }
    if (grows == 0) {
        return;
    }
    // Filled from the end, so the text is never copied: what is written
    // lies at or after what is still to be read.
    text.resize(n + grows);
    char16_t* s = reinterpret_cast<char16_t*>(text.data());
    qsizetype to = n + grows;
    qsizetype from = n;
    if (s[n - 1] != u'\r' && s[n - 1] != u'\n') {
        s[--to] = u'\n';
        s[--to] = u'\r';
    }
    while (from > 0 && to > from) {
        const char16_t c = s[--from];
        if (c == u'\n' || c == u'\r') {
            if (c == u'\n' && from > 0 && s[from - 1] == u'\r') {
                --from;  // CR LF stays one line end
            }
            s[--to] = u'\n';
            s[--to] = u'\r';
        } else {
            s[--to] = c;
        }
    }
}

QString pageTextFromBody(QByteArrayView body) {
    QString text = decodeText(body).text;
    normalizeLineEnds(text);
    return text;
}

}  // namespace quorvel
