#include "records/code_page.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>
#include <array>
#include <cstdint>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace quorvel {

#ifdef Q_OS_WIN

namespace {

// The Windows code page of a charset name that Qt cannot decode itself
// (without ICU it knows only the Unicode encodings and Latin-1); 0 if none.
UINT windowsCodePage(QByteArrayView name) {
    const QByteArray key = name.toByteArray().trimmed().toLower();
    static constexpr std::pair<const char*, UINT> kNames[] = {
        {"koi8-r", 20866},
        {"koi8r", 20866},
        {"koi8-u", 21866},
        {"ibm866", 866},
        {"cp866", 866},
        {"866", 866},
        {"x-cp866", 866},
        {"dos-866", 866},
        {"us-ascii", 20127},
        {"macintosh", 10000},
        {"x-mac-cyrillic", 10007},
        {"shift_jis", 932},
        {"gbk", 936},
        {"gb2312", 936},
        {"big5", 950},
        {"euc-kr", 51949},
        {"euc-jp", 20932},
        {"iso-8859-5", 28595},
    };
    for (const auto& [known, page] : kNames) {
        if (key == known) {
            return page;
        }
    }
    // windows-1250 ... windows-1258, cp1250 ... cp1258, iso-8859-1 ... -16.
    bool ok = false;
    for (const QByteArrayView prefix : {"windows-", "cp", "x-cp"}) {
        if (key.startsWith(prefix)) {
            const UINT page = key.mid(prefix.size()).toUInt(&ok);
            if (ok && page >= 1250 && page <= 1258) {
                return page;
            }
        }
    }
    if (key.startsWith("iso-8859-")) {
        const UINT part = key.mid(9).toUInt(&ok);
        if (ok && part >= 1 && part <= 16) {
            return 28590 + part;
        }
    }
    return 0;
}

QString decodeWindowsCodePage(UINT page, QByteArrayView bytes) {
    if (bytes.isEmpty()) {
        return QString();
    }
    const int size = int(bytes.size());
    const int length = MultiByteToWideChar(page, 0, bytes.data(), size, nullptr, 0);
    QString text(qMax(0, length), Qt::Uninitialized);
    if (length > 0) {
        MultiByteToWideChar(page, 0, bytes.data(), size, reinterpret_cast<wchar_t*>(text.data()),
                            length);
    }
    return text;
}

}  // namespace

std::optional<QString> decodeNamedCodePage(QByteArrayView name, QByteArrayView bytes) {
    QStringDecoder decoder(name.toByteArray().constData());
    if (decoder.isValid()) {
        return decoder(bytes);
    }
    const UINT page = windowsCodePage(name);
    if (page == 0 || !IsValidCodePage(page)) {
        return std::nullopt;
    }
    return decodeWindowsCodePage(page, bytes);
}

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

std::optional<QString> decodeNamedCodePage(QByteArrayView name, QByteArrayView bytes) {
    QStringDecoder decoder(name.toByteArray().constData());
    if (!decoder.isValid()) {
        return std::nullopt;
    }
    return decoder(bytes);
}

#endif

}  // namespace quorvel
