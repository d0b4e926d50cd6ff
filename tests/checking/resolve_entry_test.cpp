#include <gtest/gtest.h>

#include "checking/host_mappings.h"
#include "support/printers.h"

namespace quorvel {
namespace {

using namespace Qt::StringLiterals;

TEST(ResolveEntry, TheFormsLibcurlTakes) {
    struct Row {
        const char* name;
        QString entry;
        bool valid;
    };
    const Row rows[] = {
        {"plain", u"partner.test:80:127.0.0.1"_s, true},
        {"every host", u"*:8080:127.0.0.1"_s, true},
        {"expiring", u"+partner.test:443:127.0.0.1"_s, true},
        {"several addresses", u"h:443:127.0.0.1,10.0.0.1"_s, true},
        {"IPv6", u"h:443:::1"_s, true},
        {"IPv6 in brackets", u"h:443:[::1]"_s, true},
        {"IPv6 with IPv4 tail", u"h:443:[::ffff:127.0.0.1],::1"_s, true},
        {"IPv4 in brackets", u"h:443:[127.0.0.1]"_s, true},
        {"lowest port", u"h:1:127.0.0.1"_s, true},
        {"highest port", u"h:65535:127.0.0.1"_s, true},
        {"leading zeros in the port", u"h:0080:127.0.0.1"_s, true},
        {"255-byte host", QString(255, u'a') + u":80:127.0.0.1", true},

        {"empty", u""_s, false},
        {"no port", u"h:127.0.0.1"_s, false},
        {"no address", u"h:80"_s, false},
        {"empty address", u"h:80:"_s, false},
        {"empty host", u":80:127.0.0.1"_s, false},
        {"empty host after plus", u"+:80:127.0.0.1"_s, false},
        {"removal entry", u"-h:80:127.0.0.1"_s, false},
        {"256-byte host", QString(256, u'a') + u":80:127.0.0.1", false},
        {"host in brackets", u"[::1]:80:127.0.0.1"_s, false},
        {"port 0", u"h:0:127.0.0.1"_s, false},
        {"port too large", u"h:65536:127.0.0.1"_s, false},
        {"port with sign", u"h:+80:127.0.0.1"_s, false},
        {"port not a number", u"h:http:127.0.0.1"_s, false},
        {"host name as address", u"h:80:localhost"_s, false},
        {"short IPv4", u"h:80:127.1"_s, false},
        {"address with port", u"h:80:127.0.0.1:80"_s, false},
        {"address with space", u"h:80: 127.0.0.1"_s, false},
        {"IPv6 zone", u"h:80:fe80::1%lo"_s, false},
        {"trailing comma", u"h:80:127.0.0.1,"_s, false},
        {"empty address between", u"h:80:127.0.0.1,,::1"_s, false},
        {"unclosed bracket", u"h:80:[::1"_s, false},
        {"empty brackets", u"h:80:[]"_s, false},
        {"NUL after the address", u"h:80:127.0.0.1"_s + QChar(0) + u"x", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(parseHostMapping(row.entry).has_value(), row.valid) << row.entry.toStdString();
    }
}

// What a mapping maps, and what a mistyped one does: it ends the program
// with the entry named, instead of quietly mapping nothing.
TEST(ResolveEntry, MappingsAndMistypedOnes) {
    const std::optional<HostMapping> m = parseHostMapping(u"+Partner.Test:0443:[::1],127.0.0.1");
    ASSERT_TRUE(m.has_value());
    EXPECT_EQ(m->host, "Partner.Test");
    EXPECT_EQ(m->port, 443);
    EXPECT_EQ(m->addresses, "[::1],127.0.0.1");
    EXPECT_TRUE(m->expiring);

    HostMappings mappings{u"+Partner.Test:0443:[::1],127.0.0.1"_s, u"*:80:127.0.0.2"_s};
    EXPECT_EQ(mappings.entryFor("partner.test", 443), "+partner.test:443:[::1],127.0.0.1");
    EXPECT_EQ(mappings.entryFor("other.test", 80), "other.test:80:127.0.0.2");
    EXPECT_TRUE(mappings.entryFor("other.test", 443).isEmpty());

#ifndef Q_OS_WIN
    // Qt's fatal message does not reach the stderr that a Windows death test
    // captures (Wine shows nothing of it), so the text is checked here only.
    EXPECT_DEATH(mappings += u"www.partner.test:127.0.0.1"_s,
                 "not a host mapping: 'www.partner.test:127.0.0.1'");
#endif
}

}  // namespace
}  // namespace quorvel
