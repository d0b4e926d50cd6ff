#include "checking/page_text.h"

#include "records/text_decoding.h"

namespace quorvel {

QString normalizeLineEnds(QStringView text) {
    const qsizetype nul = text.indexOf(QChar(u'\0'));
    if (nul >= 0) {
        text = text.first(nul);
    }
    const char16_t* in = text.utf16();
    const qsizetype n = text.size();
    QString out;
    // Most pages end lines in LF alone: room for some added CRs up front.
    out.reserve(n + n / 16 + 2);
    qsizetype runStart = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = in[i];
        if (c != u'\r' && c != u'\n') {
            continue;
        }
        out.append(QStringView(in + runStart, i - runStart));
        out.append(u"\r\n");
        if (c == u'\r' && i + 1 < n && in[i + 1] == u'\n') {
            ++i;
        }
        runStart = i + 1;
    }
    if (runStart < n) {
        out.append(QStringView(in + runStart, n - runStart));
        out.append(u"\r\n");
    }
    return out;
}

QString pageTextFromBody(QByteArrayView body) {
    return normalizeLineEnds(decodeText(body).text);
}

}  // namespace quorvel
