#include <gtest/gtest.h>

#include "support/cli_runner.h"
#include "support/printers.h"
#include "support/temp_dir.h"

namespace quorvel {
namespace {

using namespace Qt::StringLiterals;

TEST(CliScan, OneVerdictPerFileInOrder) {
    test::TempDir dir;
    dir.write(u"yes.html"_s, "<a href=\"http://www.example.org/\">x</a>\n<a href=http://b.net/>");
    dir.write(u"hidden.html"_s, "<a href=http://example.org/ rel=nofollow>");
    const test::CliResult r = test::runCli(
        {u"scan"_s, u"--link"_s, u"http://example.org/"_s, u"--partner=http://p.example.com/"_s,
         dir.path(u"yes.html"_s), dir.path(u"missing.html"_s), dir.path(u"hidden.html"_s), u"-"_s},
        "");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.out, "YEP@2\nHIDDEN@0\nNIL@0\n");
    EXPECT_TRUE(r.err.contains("missing.html"));
}

TEST(CliScan, LinksListsUtf8WithCrLf) {
    const test::CliResult r = test::runCli(
        {u"links"_s, u"--partner"_s, u"http://example.com/a/b.html"_s, u"-"_s},
        "<a href=http://\xCF\xF0\xE8.ru/><a href=http://b.net/><a href=http://example.com/x>");
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, "http://\xD0\xBF\xD1\x80\xD0\xB8.ru/\r\nhttp://b.net/\r\n");
}

TEST(CliScan, UsageErrors) {
    for (const QStringList& args :
         {QStringList{u"scan"_s, u"--link"_s, u"x"_s, u"f"_s},
          QStringList{u"scan"_s, u"--link"_s, u"x"_s, u"--partner"_s, u"y"_s},
          QStringList{u"scan"_s, u"--partner"_s}, QStringList{u"links"_s, u"f"_s},
          QStringList{u"links"_s, u"--partner=x"_s, u"a"_s, u"b"_s}}) {
        EXPECT_EQ(test::runCli(args).exitCode, 2) << args.join(u' ').toStdString();
    }
}

}  // namespace
}  // namespace quorvel
