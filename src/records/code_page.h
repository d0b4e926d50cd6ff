#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <optional>

namespace quorvel {

// The 8-bit code page that files and pages without a byte order mark are read
// in: Windows-1251 on Linux (every byte is one character, so decoding is
// total), the active ANSI code page on Windows.
QString decodeCodePage(QByteArrayView bytes);

// Encodes text in that code page into `out`, which has room for text.size()
// bytes. Returns false (and leaves `out` undefined) when some character has
// no exact byte in it.
bool encodeCodePage(QStringView text, char* out);

// Decodes `bytes` in the encoding a charset name gives ("windows-1251",
// "KOI8-R", "cp866", "utf-8", ...; letter case does not matter). Bytes that
// are no character become U+FFFD. nullopt when the name is unknown. On
// Windows the legacy code pages are the system's own.
std::optional<QString> decodeNamedCodePage(QByteArrayView name, QByteArrayView bytes);

}  // namespace quorvel
