#include "records/code_page.h"

#include <gtest/gtest.h>

#include "support/printers.h"

namespace quorvel {
namespace {

using namespace Qt::StringLiterals;

// The same bytes and texts on Linux (Qt's codecs) and on Windows (the
// system's code pages): "Привет" and the like in each legacy encoding.
TEST(NamedCodePage, DecodesTheLegacyEncodingsByAnyOfTheirNames) {
    struct Case {
        const char* name;
        QByteArray bytes;
        QString text;
    };
    const Case cases[] = {
        {"windows-1251", "\xCF\xF0\xE8\xE2\xE5\xF2", u"Привет"_s},
        {"Windows-1251", "\xE0\xFF", u"ая"_s},
        {"cp1251", "\xB8", u"ё"_s},
        {"windows-1252", "caf\xE9 \x80", u"café €"_s},
        {"KOI8-R", "\xF0\xD2\xC9\xD7\xC5\xD4", u"Привет"_s},
        {"koi8-r", "\xA3", u"ё"_s},
        {"IBM866", "\x8F\xE0\xA8\xA2\xA5\xE2", u"Привет"_s},
        {"cp866", "\xF1", u"ё"_s},
        {"utf-8", "\xD0\x96", u"Ж"_s},
        {"iso-8859-1", "\xE9", u"é"_s},
        {"windows-1251", "", QString()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::optional<QString> text = decodeNamedCodePage(c.name, c.bytes);
        ASSERT_TRUE(text.has_value());
        EXPECT_EQ(*text, c.text);
    }
}

TEST(NamedCodePage, AnUnknownNameIsNoEncoding) {
    for (const char* name : {"", "no-such-charset", "windows-9999", "cp"}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(decodeNamedCodePage(name, "abc").has_value());
    }
}

// Files without a mark: every byte is one character and comes back as the
// same byte (on Windows with the Russian code page as the system's).
TEST(CodePage, EveryByteRoundTrips) {
    QByteArray all(256, Qt::Uninitialized);
    for (int b = 0; b < 256; ++b) {
        all[b] = char(b);
    }
    const QString text = decodeCodePage(all);
    ASSERT_EQ(text.size(), 256);
    EXPECT_EQ(text.mid(0xC0, 4), u"АБВГ"_s);
    QByteArray back(256, '\0');
    ASSERT_TRUE(encodeCodePage(text, back.data()));
    EXPECT_EQ(back, all);
    char out[1];
    EXPECT_FALSE(encodeCodePage(u"日", out));
}

}  // namespace
}  // namespace quorvel
