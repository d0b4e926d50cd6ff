#include "records/int_text.h"

namespace quorvel {

namespace {

int hexDigit(char16_t c) {
    if (c >= u'0' && c <= u'9') {
        return c - u'0';
    }
    if (c >= u'a' && c <= u'f') {
        return c - u'a' + 10;
    }
    if (c >= u'A' && c <= u'F') {
        return c - u'A' + 10;
    }
    return -1;
}

}  // namespace

std::optional<int32_t> parseInt32Text(QStringView text) {
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && text[i] == u' ') {
        ++i;
    }
    bool negative = false;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    bool hex = false;
    if (i < n && (text[i] == u'$' || text[i] == u'x' || text[i] == u'X')) {
        hex = true;
        ++i;
    } else if (i + 1 < n && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X')) {
        hex = true;
        i += 2;
    }
    if (i == n) {
        return std::nullopt;  // no digits
    }
    uint64_t value = 0;
    const uint64_t limit = hex ? 0xFFFFFFFFull : (negative ? 0x80000000ull : 0x7FFFFFFFull);
    for (; i < n; ++i) {
        const char16_t c = text[i].unicode();
        const int digit = hex ? hexDigit(c) : (c >= u'0' && c <= u'9' ? c - u'0' : -1);
        if (digit < 0) {
            return std::nullopt;
        }
        value = value * (hex ? 16 : 10) + uint64_t(digit);
        if (value > limit) {
            return std::nullopt;
        }
    }
    // Two's complement throughout: "-$1" is -1, "$FFFFFFFF" is -1.
    const uint32_t bits = negative ? uint32_t(0u - uint32_t(value)) : uint32_t(value);
    return int32_t(bits);
}

}  // namespace quorvel
