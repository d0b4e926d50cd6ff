#include <gtest/gtest.h>

#include "support/cli_runner.h"
#include "support/printers.h"
#include "support/temp_dir.h"

namespace quorvel {
namespace {

using namespace Qt::StringLiterals;

TEST(CliOptions, ArgumentsReadAsBefore) {
    test::TempDir dir;
    dir.write(u"page.html"_s, "<a href=http://me.example/>me</a>");
    dir.write(u"--link"_s, "<a href=http://me.example/ rel=nofollow>me</a>");
    const QString link = u"http://me.example/"_s;
    const QString partner = u"http://p.example/"_s;
    struct Row {
        const char* name;
        QStringList args;
        int exitCode;
        QByteArray out;
        QByteArray err;
    };
    const Row rows[] = {
        {"a dash is standard input",
         {u"scan"_s, u"--link"_s, link, u"--partner"_s, partner, u"-"_s},
         0,
         "NIL@0\n",
         ""},
        {"name=value, options after the files",
         {u"scan"_s, u"page.html"_s, u"--link="_s + link, u"--partner="_s + partner},
         0,
         "YEP@0\n",
         ""},
        {"a double dash ends the options",
         {u"scan"_s, u"--link"_s, link, u"--partner"_s, partner, u"--"_s, u"--link"_s, u"-"_s,
          u"page.html"_s},
         0,
         "HIDDEN@0\nNIL@0\nYEP@0\n",
         ""},
        {"a value may begin with a dash",
         {u"scan"_s, u"--partner"_s, partner, u"--link"_s, u"--link"_s, u"page.html"_s},
         0,
         "NIL@0\n",
         ""},
        {"the first of repeated values counts",
         {u"scan"_s, u"--link"_s, link, u"--link"_s, u"http://other.example/"_s, u"--partner"_s,
          partner, u"page.html"_s},
         0,
         "YEP@0\n",
         ""},
        {"an unknown option is quoted whole",
         {u"scan"_s, u"--link"_s, link, u"--x=y"_s, u"--partner"_s, partner, u"page.html"_s},
         2,
         "",
         "quorvel-cli: scan: unknown option '--x=y'\nTry 'quorvel-cli scan --help'.\n"},
        {"no single-dash options",
         {u"links"_s, u"-p"_s, partner, u"page.html"_s},
         2,
         "",
         "quorvel-cli: links: unknown option '-p'\nTry 'quorvel-cli links --help'.\n"},
        {"a certificate file that cannot be read",
         {u"fetch"_s, u"--cacert"_s, u"no-such.pem"_s, partner},
         2,
         "",
         "quorvel-cli: fetch: cannot read --cacert 'no-such.pem'\n"
         "Try 'quorvel-cli fetch --help'.\n"},
        {"a memory budget that is no size",
         {u"check"_s, u"--memory-budget"_s, u"64k"_s, u"data.qvp"_s},
         2,
         "",
         "quorvel-cli: check: --memory-budget takes a size from 1M to 1024G (a number of bytes, "
         "or with K, M or G after it), not '64k'\n"
         "Try 'quorvel-cli check --help'.\n"},
        {"a value missing at the end",
         {u"links"_s, u"page.html"_s, u"--partner"_s},
         2,
         "",
         "quorvel-cli: links: option '--partner' needs a value\n"
         "Try 'quorvel-cli links --help'.\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const test::CliResult r = test::runCli(row.args, "nothing here", dir.path({}));
        EXPECT_EQ(r.exitCode, row.exitCode);
        EXPECT_EQ(r.out, row.out);
        EXPECT_EQ(r.err, row.err);
    }
}

}  // namespace
}  // namespace quorvel
