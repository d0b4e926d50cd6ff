#include <QFile>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include "support/printers.h"

#include "support/cli_runner.h"
#include "support/temp_dir.h"

namespace quorvel {
namespace {

using namespace Qt::StringLiterals;

TEST(CliFields, PrintsTheEightFieldsEscaped) {
    test::TempDir dir;
    dir.write(u"a.qvp"_s,
              "<QV_U>a</QV_U><QV_7>x\ty</QV_7>\r\n"
              "<QV_U>\xCF\xF0\xE8</QV_U><QV_I>1</QV_I><QV_E>e</QV_E><QV_D>21.10.2010</QV_D>"
              "<QV_4>4</QV_4><QV_5>5</QV_5><QV_6>6</QV_6><QV_7>back\\slash</QV_7>\r\n"
              "\r\n");
    const test::CliResult r = test::runCli({u"fields"_s, dir.path(u"a.qvp"_s)});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out,
              "a\t\t\t\t\t\t\tx\\ty\n"
              "\xD0\x9F\xD1\x80\xD0\xB8\t1\te\t21.10.2010\t4\t5\t6\tback\\\\slash\n"
              "\t\t\t\t\t\t\t\n");
    EXPECT_TRUE(r.err.isEmpty());
}

// Output goes out in pieces; a character of two UTF-16 units is never cut
// in two where one piece ends (a field of 200000 units crosses several).
TEST(CliFields, LongFieldsComeOutWhole) {
    test::TempDir dir;
    const QByteArray emoji("\xF0\x9F\x98\x80");
    dir.write(u"long.qvp"_s, "<QV_7>" + emoji.repeated(100000) + "</QV_7>\r\n");
    const test::CliResult r = test::runCli({u"fields"_s, dir.path(u"long.qvp"_s)});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out == QByteArray(7, '\t') + emoji.repeated(100000) + '\n');
}

TEST(CliFields, ReadsStandardInputAndKeepsGoingAfterAnUnreadableFile) {
    test::TempDir dir;
    const test::CliResult r = test::runCli({u"fields"_s, dir.path(u"missing.qvp"_s), u"-"_s},
                                           "\xEF\xBB\xBF<QV_7>\xD1\x8F</QV_7>\n<QV_U>y</QV_U>");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.out, "\t\t\t\t\t\t\t\xD1\x8F\ny\t\t\t\t\t\t\t\n");
    EXPECT_TRUE(r.err.contains("missing.qvp")) << r.err.toStdString();
    EXPECT_EQ(r.err.count('\n'), 1);
}

// A file damaged after a NUL is read up to it, and both commands that read
// record files say in one line what was left unread; the check of the
// records before it goes on (a record without a host fails at once).
TEST(CliFields, RecordsCutOffByANulAreNamed) {
    test::TempDir dir;
    dir.write(u"cut.qvp"_s, QByteArray("<QV_7>a</QV_7>\r\n\r\n\0<QV_U>b</QV_U>\r\n", 35));
    const QByteArray said =
        "': a NUL byte at offset 18 ends the text; the 16 bytes after it are "
        "not read\n";
    const QString file = dir.path(u"cut.qvp"_s);
    const test::CliResult fields = test::runCli({u"fields"_s, file});
    EXPECT_EQ(fields.exitCode, 0);
    EXPECT_EQ(fields.out, "\t\t\t\t\t\t\ta\n\t\t\t\t\t\t\t\n");
    EXPECT_EQ(fields.err, "quorvel-cli: fields: '" + file.toUtf8() + said);
    const test::CliResult check = test::runCli({u"check"_s, u"--no-history"_s, file});
    EXPECT_EQ(check.out.count('\n'), 2);
    EXPECT_EQ(check.err, "quorvel-cli: check: '" + file.toUtf8() + said);
}

// A FIFO without a writer is refused at once, by both commands that read
// record files; standard input is read whatever it is (a pipe above).
TEST(CliFields, AFifoIsRefusedAtOnce) {
    test::TempDir dir;
    const QString fifo = dir.path(u"fifo.qvp"_s);
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    for (const char16_t* command : {u"fields", u"check"}) {
        test::CliProcess cli({QString::fromUtf16(command), fifo});
        const test::CliResult r = cli.finish(5000);
        EXPECT_EQ(r.exitCode, 2) << "it waits for a writer";
        EXPECT_TRUE(r.err.contains("not a regular file")) << r.err.toStdString();
    }
}

TEST(CliFields, UsageErrors) {
    for (const QStringList& args : {QStringList{u"fields"_s}, QStringList{u"fields"_s, u"--x"_s},
                                    QStringList{u"nonsense"_s}, QStringList{}}) {
        const test::CliResult r = test::runCli(args);
        EXPECT_EQ(r.exitCode, 2) << args.join(u' ').toStdString();
        EXPECT_FALSE(r.err.isEmpty() && r.out.isEmpty());
    }
    const test::CliResult help = test::runCli({u"--help"_s});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.contains("fields"));
    EXPECT_EQ(test::runCli({u"fields"_s, u"--help"_s}).exitCode, 0);
}

}  // namespace
}  // namespace quorvel
