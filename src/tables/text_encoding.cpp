#include "tables/text_encoding.h"

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace quorvel {

namespace {

struct EncodingInfo {
    TextEncoding encoding;
    const char16_t* name;
    const char* codecName;  // Qt's name for it
    unsigned windowsCodePage;
};

constexpr EncodingInfo kInfo[] = {
    {TextEncoding::Utf8, u"UTF-8", "UTF-8", 65001},
    {TextEncoding::Utf16LE, u"UTF-16LE", "UTF-16LE", 1200},
    {TextEncoding::Utf16BE, u"UTF-16BE", "UTF-16BE", 1201},
    {TextEncoding::Windows1251, u"Windows-1251", "windows-1251", 1251},
    {TextEncoding::Windows1252, u"Windows-1252", "windows-1252", 1252},
    {TextEncoding::Koi8R, u"KOI8-R", "KOI8-R", 20866},
    {TextEncoding::Cp866, u"CP866", "IBM866", 866},
};

const EncodingInfo& info(TextEncoding encoding) {
    return kInfo[int(encoding)];
}

// Letters and digits only, lower case: "Windows-1251" and "cp1251" meet as
// "windows1251" and "cp1251".
QString squeezed(QStringView name) {
    QString out;
    for (const QChar ch : name) {
        if (ch.isLetterOrNumber()) {
            out += ch.toLower();
        }
    }
    return out;
}

[[maybe_unused]] bool singleByte(TextEncoding encoding) {
    return encoding != TextEncoding::Utf8 && encoding != TextEncoding::Utf16LE &&
           encoding != TextEncoding::Utf16BE;
}

}  // namespace

QString encodingName(TextEncoding encoding) {
    return QString::fromUtf16(info(encoding).name);
}

std::optional<TextEncoding> encodingFromName(QStringView name) {
    const QString key = squeezed(name);
    for (const EncodingInfo& entry : kInfo) {
        if (key == squeezed(entry.name)) {
            return entry.encoding;
        }
    }
    static constexpr std::pair<const char16_t*, TextEncoding> kAliases[] = {
        {u"cp1251", TextEncoding::Windows1251}, {u"cp1252", TextEncoding::Windows1252},
        {u"koi8", TextEncoding::Koi8R},         {u"ibm866", TextEncoding::Cp866},
        {u"dos866", TextEncoding::Cp866},       {u"utf16", TextEncoding::Utf16LE},
    };
    for (const auto& [alias, encoding] : kAliases) {
        if (key == QStringView(alias)) {
            return encoding;
        }
    }
    return std::nullopt;
}

ByteOrderMark byteOrderMark(QByteArrayView bytes) {
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        return {TextEncoding::Utf8, 3};
    }
    if (bytes.startsWith("\xFF\xFE")) {
        return {TextEncoding::Utf16LE, 2};
    }
    if (bytes.startsWith("\xFE\xFF")) {
        return {TextEncoding::Utf16BE, 2};
    }
    return {};
}

ChunkDecoder::ChunkDecoder(TextEncoding encoding)
    : encoding_(encoding),
      // Stateful: a character cut between two pieces is kept for the next.
      // A mark at the start is the caller's to skip; a second one is text.
      decoder_(info(encoding).codecName, QStringConverter::Flag::ConvertInitialBom) {}

QString ChunkDecoder::decode(QByteArrayView bytes) {
#ifdef Q_OS_WIN
    // Qt on Windows may come without the legacy code pages; the system has them.
    if (!decoder_.isValid() && singleByte(encoding_)) {
        if (bytes.isEmpty()) {
            return QString();
        }
        const UINT page = info(encoding_).windowsCodePage;
        QString out(bytes.size(), Qt::Uninitialized);
        const int n = MultiByteToWideChar(page, 0, bytes.data(), int(bytes.size()),
                                          reinterpret_cast<wchar_t*>(out.data()), int(out.size()));
        out.truncate(qMax(0, n));
        return out;
    }
#endif
    return decoder_.decode(bytes);
}

}  // namespace quorvel
