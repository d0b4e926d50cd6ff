#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace quorvel {

// The 8-bit code page that files and pages without a byte order mark are read
// in: Windows-1251 on Linux (every byte is one character, so decoding is
// total), the active ANSI code page on Windows.
QString decodeCodePage(QByteArrayView bytes);

// Encodes text in that code page into `out`, which has room for text.size()
// bytes. Returns false (and leaves `out` undefined) when some character has
// no exact byte in it.
bool encodeCodePage(QStringView text, char* out);

}  // namespace quorvel
