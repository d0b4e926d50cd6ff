#include <gtest/gtest.h>

#include "support/cli_runner.h"
#include "support/printers.h"
#include "support/raw_server.h"

namespace quorvel {
namespace {

using namespace Qt::StringLiterals;

TEST(CliFetch, PrintsThePageOrWhyNot) {
    test::RawServer server([](const test::RawServer::Connection& c) {
        if (test::requestTarget(c.request) == "/ok") {
            c.send("HTTP/1.1 200 OK\r\nContent-Length: 8\r\n\r\n\xCF\xF0\xE8\nline");
        } else if (!c.request.contains("Host: www.")) {
            c.send("HTTP/1.1 500 Oops\r\nContent-Length: 0\r\n\r\n");
        }  // the second address gets no answer at all
    });
    const QString port = QString::number(server.port());
    const QStringList resolve = {u"--resolve"_s, u"partner.test:" + port + u":127.0.0.1",
                                 u"--resolve=www.partner.test:" + port + u":127.0.0.1"};

    test::CliResult r = test::runCli(QStringList{u"fetch"_s} + resolve +
                                     QStringList{u"partner.test:" + port + u"/ok"});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, "\xD0\x9F\xD1\x80\xD0\xB8\r\nline\r\n");
    EXPECT_EQ(r.err, "first address: http://partner.test:" + port.toLatin1() + "/ok\n");

    r = test::runCli(QStringList{u"fetch"_s} + resolve +
                     QStringList{u"http://partner.test:" + port + u"/bad"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.out.isEmpty());
    // Both attempts say why they failed, each with its reason code.
    const QList<QByteArray> lines = r.err.trimmed().split('\n');
    ASSERT_EQ(lines.size(), 4) << r.err.toStdString();
    EXPECT_EQ(lines.at(0), "first address: http://partner.test:" + port.toLatin1() + "/bad");
    EXPECT_EQ(lines.at(1), "first attempt failed: HTTP status 500 [http 500]");
    EXPECT_EQ(lines.at(2), "second address: http://www.partner.test:" + port.toLatin1() + "/bad");
    EXPECT_TRUE(lines.at(3).startsWith("second attempt failed: ")) << lines.at(3).toStdString();
    EXPECT_TRUE(lines.at(3).endsWith(" [connect]")) << lines.at(3).toStdString();

    EXPECT_EQ(test::runCli({u"fetch"_s}).exitCode, 2);
}

test::RawServer::Handler okPage() {
    return [](const test::RawServer::Connection& c) { c.send(test::httpResponse("200 OK", "ok")); };
}

TEST(CliFetch, HostMappingsInLibcurlsForms) {
    test::RawServer server(okPage());
    const QString port = QString::number(server.port());
    const QString url = u"http://partner.test:" + port + u"/";
    struct Row {
        const char* name;
        QStringList resolve;
        int exitCode;
    };
    const Row rows[] = {
        {"any host", {u"--resolve"_s, u"*:" + port + u":127.0.0.1"}, 0},
        {"a mapping that expires", {u"--resolve"_s, u"+partner.test:" + port + u":127.0.0.1"}, 0},
        {"IPv6 in brackets, then IPv4",
         {u"--resolve"_s, u"partner.test:" + port + u":[::1],127.0.0.1"},
         0},
        {"the later mapping counts: the dead address first",
         {u"--resolve"_s, u"partner.test:" + port + u":127.0.0.2",
          u"--resolve=partner.test:" + port + u":127.0.0.1"},
         0},
        {"the later mapping counts: the dead address last",
         {u"--resolve"_s, u"partner.test:" + port + u":127.0.0.1",
          u"--resolve=partner.test:" + port + u":127.0.0.2"},
         1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const test::CliResult r =
            test::runCli(QStringList{u"fetch"_s} + row.resolve + QStringList{url});
        EXPECT_EQ(r.exitCode, row.exitCode) << r.err.toStdString();
        EXPECT_EQ(r.out, row.exitCode == 0 ? QByteArray("ok\r\n") : QByteArray());
    }
}

TEST(CliFetch, AMalformedHostMappingIsAUsageError) {
    test::RawServer server(okPage());
    const QString port = QString::number(server.port());
    const test::CliResult r =
        test::runCli({u"fetch"_s, u"--resolve"_s, u"partner.test:" + port + u":127.0.0.1",
                      u"--resolve"_s, u"partner.test:127.0.0.1"_s, u"partner.test:" + port});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_EQ(r.err,
              "quorvel-cli: fetch: bad --resolve 'partner.test:127.0.0.1': expected "
              "HOST:PORT:ADDRESS[,ADDRESS]...\n"
              "Try 'quorvel-cli fetch --help'.\n");
    EXPECT_TRUE(server.requests().isEmpty());
}

}  // namespace
}  // namespace quorvel
