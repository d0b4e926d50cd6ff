#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringDecoder>
#include <QStringView>

#include <optional>

namespace quorvel {

// The encodings a text table may come in: what spreadsheets, online tables
// and backlink tools write, and the old Russian DOS and Unix code pages.
enum class TextEncoding { Utf8, Utf16LE, Utf16BE, Windows1251, Windows1252, Koi8R, Cp866 };

inline constexpr TextEncoding kTextEncodings[] = {
    TextEncoding::Utf8,        TextEncoding::Utf16LE,     TextEncoding::Utf16BE,
    TextEncoding::Windows1251, TextEncoding::Windows1252, TextEncoding::Koi8R,
    TextEncoding::Cp866};

// "UTF-8", "UTF-16LE", "UTF-16BE", "Windows-1251", "Windows-1252", "KOI8-R", "CP866".
QString encodingName(TextEncoding encoding);
// A name as encodingName gives it, in any letter case, or a common alias
// ("utf8", "cp1251", "koi8r", "ibm866").
std::optional<TextEncoding> encodingFromName(QStringView name);

// The byte order mark at the start of `bytes`: its encoding and length.
struct ByteOrderMark {
    TextEncoding encoding = TextEncoding::Utf8;
    qsizetype length = 0;  // 0: none
};
ByteOrderMark byteOrderMark(QByteArrayView bytes);

// Decodes a text that comes in pieces: a character split between two pieces
// is put together. Bytes that are no character become U+FFFD.
class ChunkDecoder {
  public:
    explicit ChunkDecoder(TextEncoding encoding);
    QString decode(QByteArrayView bytes);

  private:
    [[maybe_unused]] TextEncoding encoding_;  // for the fallback on Windows
    QStringDecoder decoder_;
};

}  // namespace quorvel
