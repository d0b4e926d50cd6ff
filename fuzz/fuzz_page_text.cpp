// Any body as page text: only CR LF line ends, a final CR LF unless empty, no
// NUL; and the same text as the plain reading of the rule, which copies the
// text where the program fills it in place.
#include <cstdint>
#include <cstdlib>

#include "checking/page_text.h"
#include "records/text_decoding.h"

namespace {

QString normalizedByCopy(QStringView text) {
    const qsizetype nul = text.indexOf(QChar(u'\0'));
    if (nul >= 0) {
        text = text.first(nul);
    }
    QString out;
    qsizetype lineStart = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c != u'\r' && c != u'\n') {
            continue;
        }
        out += text.sliced(lineStart, i - lineStart) + u"\r\n";
        if (c == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n') {
            ++i;
        }
        lineStart = i + 1;
    }
    if (lineStart < text.size()) {
        out += text.sliced(lineStart) + u"\r\n";
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArrayView body(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString text = quorvel::pageTextFromBody(body);
    if (!text.isEmpty() && !text.endsWith(u"\r\n")) {
        std::abort();
    }
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const bool loneCr = c == u'\r' && (i + 1 == text.size() || text.at(i + 1) != u'\n');
        const bool loneLf = c == u'\n' && (i == 0 || text.at(i - 1) != u'\r');
        if (c == QChar(u'\0') || loneCr || loneLf) {
            std::abort();
        }
    }
    if (text != normalizedByCopy(quorvel::decodeText(body).text)) {
        std::abort();
    }
    return 0;
}
