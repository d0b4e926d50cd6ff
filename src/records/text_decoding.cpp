#include "records/text_decoding.h"

#include "records/code_page.h"

#include <QStringDecoder>

#include <cstring>

namespace quorvel {

namespace {

DecodedText decodeUtf16(QByteArrayView rest, QStringConverter::Encoding encoding) {
    // ConvertInitialBom: the mark is gone already; a second one is a character.
    QStringDecoder decoder(
        encoding, QStringConverter::Flag::ConvertInitialBom | QStringConverter::Flag::Stateless);
    DecodedText out{decoder(rest), false};
    out.lossy = decoder.hasError() || (rest.size() % 2) != 0;
    if (!out.text.isValidUtf16()) {
        // An unpaired surrogate is no character: it becomes U+FFFD like any
        // other undecodable unit, so what was read can be written back.
        out.lossy = true;
        char16_t* units = reinterpret_cast<char16_t*>(out.text.data());
        const qsizetype n = out.text.size();
        for (qsizetype i = 0; i < n; ++i) {
            if (QChar::isHighSurrogate(units[i]) && i + 1 < n &&
                QChar::isLowSurrogate(units[i + 1])) {
                ++i;
            } else if (QChar::isSurrogate(units[i])) {
                units[i] = 0xFFFD;
            }
        }
    }
    return out;
}

}  // namespace

qsizetype wholeUtf8Prefix(QByteArrayView bytes) {
    const qsizetype n = bytes.size();
    for (qsizetype back = 1; back <= qMin<qsizetype>(3, n); ++back) {
        const auto c = static_cast<unsigned char>(bytes[n - back]);
        if (c < 0x80) {
            return n;
        }
        if (c >= 0xC0) {
            const qsizetype length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
            return length > back ? n - back : n;
        }
    }
    return n;
}

bool isValidUtf8(QByteArrayView bytes, bool* hasMultiByte) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* end = p + bytes.size();
    bool multi = false;
    while (p < end) {
        // Skip ASCII eight bytes at a time.
        while (end - p >= 8) {
            uint64_t word;
            std::memcpy(&word, p, 8);
            if (word & 0x8080808080808080ull) {
                break;
            }
            p += 8;
        }
        if (p == end) {
            break;
        }
        const unsigned c = *p;
        if (c < 0x80) {
            ++p;
            continue;
        }
        multi = true;
        int len;
        unsigned lo = 0x80, hi = 0xBF;  // allowed range of the second byte
        if (c >= 0xC2 && c <= 0xDF) {
            len = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3;
            if (c == 0xE0) {
                lo = 0xA0;  // no overlong forms
            } else if (c == 0xED) {
                hi = 0x9F;  // no surrogates
            }
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4;
            if (c == 0xF0) {
                lo = 0x90;
            } else if (c == 0xF4) {
                hi = 0x8F;  // nothing above U+10FFFF
            }
        } else {
            return false;
        }
        if (end - p < len || p[1] < lo || p[1] > hi) {
            return false;
        }
        for (int i = 2; i < len; ++i) {
            if ((p[i] & 0xC0) != 0x80) {
                return false;
            }
        }
        p += len;
    }
    if (hasMultiByte) {
        *hasMultiByte = multi;
    }
    return true;
}

TextForm detectTextForm(QByteArrayView bytes) {
    TextFormDetector detector;
    detector.add(bytes);
    return detector.form();
}

void TextFormDetector::add(QByteArrayView piece) {
    if (head_.size() < 3) {
        head_ += piece.first(qMin<qsizetype>(piece.size(), 3 - head_.size()));
    }
    // Behind a mark the bytes are not looked at.
    if (!utf8Valid_ || head_.startsWith("\xFF\xFE") || head_.startsWith("\xFE\xFF") ||
        head_.startsWith("\xEF\xBB\xBF")) {
        return;
    }
    QByteArrayView part = piece;
    if (!carry_.isEmpty()) {
        carry_ += piece;
        part = carry_;
    }
    const qsizetype whole = wholeUtf8Prefix(part);
    bool multi = false;
    utf8Valid_ = isValidUtf8(part.first(whole), &multi);
    multiByte_ = multiByte_ || multi;
    carry_ = part.sliced(whole).toByteArray();
}

TextForm TextFormDetector::form() const {
    if (head_.startsWith("\xFF\xFE")) {
        return TextForm::Utf16LE;
    }
    if (head_.startsWith("\xFE\xFF")) {
        return TextForm::Utf16BE;
    }
    if (head_.startsWith("\xEF\xBB\xBF")) {
        return TextForm::Utf8WithMark;
    }
    // A sequence cut off at the end is no UTF-8.
    if (utf8Valid_ && carry_.isEmpty()) {
        return multiByte_ ? TextForm::Utf8 : TextForm::Ascii;
    }
    return TextForm::CodePage;
}

DecodedText decodeText(QByteArrayView bytes) {
    switch (detectTextForm(bytes)) {
        case TextForm::Utf16LE:
            return decodeUtf16(bytes.sliced(2), QStringConverter::Utf16LE);
        case TextForm::Utf16BE:
            return decodeUtf16(bytes.sliced(2), QStringConverter::Utf16BE);
        case TextForm::Utf8WithMark: {
            const QByteArrayView rest = bytes.sliced(3);
            QStringDecoder decoder(
                QStringConverter::Utf8,
                QStringConverter::Flag::ConvertInitialBom | QStringConverter::Flag::Stateless);
            // Invalid sequences become U+FFFD, so a damaged byte costs one
            // character instead of the whole text.
            return DecodedText{decoder(rest), !isValidUtf8(rest)};
        }
        case TextForm::Ascii:
            return DecodedText{QString::fromLatin1(bytes), false};
        case TextForm::Utf8: {
            QStringDecoder decoder(
                QStringConverter::Utf8,
                QStringConverter::Flag::ConvertInitialBom | QStringConverter::Flag::Stateless);
            return DecodedText{decoder(bytes), false};
        }
        case TextForm::CodePage:
            break;
    }
    return DecodedText{decodeCodePage(bytes), false};
}

}  // namespace quorvel
