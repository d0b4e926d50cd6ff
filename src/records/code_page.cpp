#include "records/code_page.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>
#include <array>
#include <cstdint>

namespace quorvel {

#ifdef Q_OS_WIN

QString decodeCodePage(QByteArrayView bytes) {
    QStringDecoder decoder(QStringConverter::System, QStringConverter::Flag::Stateless);
    return decoder(bytes);
}

bool encodeCodePage(QStringView text, char* out) {
    QStringEncoder encoder(QStringConverter::System, QStringConverter::Flag::Stateless);
    const QByteArray bytes = encoder(text);
    if (encoder.hasError() || bytes.size() != text.size()) {
        return false;
    }
    // The system's converter may substitute a best-fit character: only an
    // exact round trip counts.
    if (decodeCodePage(bytes) != text) {
        return false;
    }
    std::copy(bytes.begin(), bytes.end(), out);
    return true;
}

#else

namespace {

// The tables are taken once from Qt's own Windows-1251 codec (ICU), so the
// mapping is the library's, while the per-byte work stays a table lookup.
struct Cp1251Tables {
    std::array<char16_t, 256> toUnicode{};
    std::array<int16_t, 65536> fromUnicode{};  // -1: no byte for this character

    Cp1251Tables() {
        QStringDecoder decoder("windows-1251", QStringConverter::Flag::Stateless);
        Q_ASSERT(decoder.isValid());
        fromUnicode.fill(-1);
        for (int b = 0; b < 256; ++b) {
            const char byte = static_cast<char>(b);
            const QString s = decoder(QByteArrayView(&byte, 1));
            // A codec without the mapping (should not happen) keeps the byte as Latin-1.
            const char16_t c =
                (decoder.isValid() && s.size() == 1) ? s.at(0).unicode() : char16_t(b);
            toUnicode[b] = c;
            if (fromUnicode[c] < 0) {
                fromUnicode[c] = static_cast<int16_t>(b);
            }
        }
    }
};

const Cp1251Tables& tables() {
    static const Cp1251Tables instance;
    return instance;
}

}  // namespace

QString decodeCodePage(QByteArrayView bytes) {
    const auto& map = tables().toUnicode;
    QString result(bytes.size(), Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(result.data());
    const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
    for (qsizetype i = 0, n = bytes.size(); i < n; ++i) {
        out[i] = map[in[i]];
    }
    return result;
}

bool encodeCodePage(QStringView text, char* dst) {
    const auto& map = tables().fromUnicode;
    const char16_t* src = text.utf16();
    for (qsizetype i = 0, n = text.size(); i < n; ++i) {
        const int16_t b = map[src[i]];
        if (b < 0) {
            return false;
        }
        dst[i] = static_cast<char>(b);
    }
    return true;
}

#endif

}  // namespace quorvel
