#include "checking/address.h"

#include <gtest/gtest.h>

#include "support/printers.h"

namespace quorvel {
namespace {

using namespace Qt::StringLiterals;

TEST(Address, FirstAndSecondAddressRows) {
    struct Row {
        const char16_t* partner;
        const char16_t* first;
        const char16_t* second;
    };
    const Row rows[] = {
        {u"example.com/page.html", u"http://example.com/page.html",
         u"http://www.example.com/page.html"},
        {u"http://example.com", u"http://example.com", u"http://www.example.com"},
        {u"https://example.com/a", u"https://example.com/a", u"https://www.example.com/a"},
        {u"www.example.com/a", u"http://www.example.com/a", u"www.example.com/a"},
        {u"https://www.example.com/", u"https://www.example.com/", u"www.example.com/"},
        {u"HTTP://Example.com/", u"HTTP://Example.com/", u"http://www.HTTP://Example.com/"},
        // An https address keeps TLS, whatever the letter case of its scheme.
        {u"HTTPS://Example.com/", u"HTTPS://Example.com/", u"https://www.HTTPS://Example.com/"},
        {u"Https://www.example.com", u"Https://www.example.com",
         u"https://www.Https://www.example.com"},
        {u"", u"http://", u"http://www."},
        {u"httpshop.example", u"httpshop.example", u"http://www.httpshop.example"},
        {u"Пример.рф", u"http://Пример.рф", u"http://www.Пример.рф"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(firstAddressOf(row.partner), QStringView(row.first));
        EXPECT_EQ(secondAddressOf(row.first), QStringView(row.second));
    }
}

TEST(Address, RequestUrls) {
    struct Row {
        const char16_t* address;
        const char* base;
        const char* url;  // empty: fails
    };
    const Row rows[] = {
        {u"HTTP://Example.com/x", "", "http://Example.com/x"},
        {u"https://example.com", "", "https://example.com/"},
        {u"http://пример.рф/путь?я", "",
         "http://xn--e1afmkfd.xn--p1ai/%d0%bf%d1%83%d1%82%d1%8c?%d1%8f"},
        {u"http://example.com/a b", "", "http://example.com/a%20b"},
        {u"http:\\\\example.com\\a\\b.html", "", "http://example.com/a/b.html"},
        {u"www.example.com/dir/page.html", "http://www.example.com/dir/page.html",
         "http://www.example.com/dir/www.example.com/dir/page.html"},
        {u"www.example.com/", "https://www.example.com/",
         "https://www.example.com/www.example.com/"},
        {u"/root", "http://h.example/d/p", "http://h.example/root"},
        {u"mailto:x", "http://h.example/d/p", "http://h.example/d/mailto:x"},
        {u"next.html?a=1", "http://h.example:8080/d/p", "http://h.example:8080/d/next.html?a=1"},
        {u"page.html", "", ""},
        {u"httpshop.example", "", ""},
        {u"ftp://example.com/", "", ""},
        {u"file:///etc/passwd", "", ""},
        {u"http://", "", ""},
        {u"http://example.com:99999/", "", ""},
    };
    for (const Row& row : rows) {
        const RequestUrl url = resolveRequestUrl(row.address, row.base);
        EXPECT_EQ(url.url, QByteArray(row.url)) << QString::fromUtf16(row.address).toStdString();
        EXPECT_EQ(url.error.isEmpty(), !url.url.isEmpty());
    }
}

}  // namespace
}  // namespace quorvel
