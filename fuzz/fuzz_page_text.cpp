// Any body as page text: only CR LF line ends, a final CR LF unless empty, no NUL.
#include <cstdint>
#include <cstdlib>

#include "checking/page_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = quorvel::pageTextFromBody(
        QByteArrayView(reinterpret_cast<const char*>(data), qsizetype(size)));
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
    return 0;
}
