#include "checking/check_record.h"

#include <gtest/gtest.h>

#include "records/record_line.h"
#include "support/printers.h"
#include "support/raw_server.h"

namespace quorvel {
namespace {

using namespace Qt::StringLiterals;
using test::RawServer;

TEST(CheckRecord, ScanToOutcome) {
    struct Row {
        BacklinkVerdict verdict;
        int count;
        const char16_t* maximum;
        CheckStatus status;
        bool over;
    };
    const Row rows[] = {
        {BacklinkVerdict::Yep, 12, u"5", CheckStatus::Found, true},
        {BacklinkVerdict::Nil, 3, u"3", CheckStatus::Missing, false},
        {BacklinkVerdict::Hidden, 0, u"", CheckStatus::Hidden, false},
        {BacklinkVerdict::Yep, 8, u" 7", CheckStatus::Found, true},
        {BacklinkVerdict::Yep, 8, u"7 ", CheckStatus::Found, false},
        {BacklinkVerdict::Yep, 11, u"$A", CheckStatus::Found, true},
        {BacklinkVerdict::Yep, 3, u"99999999999", CheckStatus::Found, false},
        {BacklinkVerdict::Hidden, 4, u"-1", CheckStatus::Hidden, true},
    };
    for (const Row& row : rows) {
        LinkScanResult scan;
        scan.verdict = row.verdict;
        scan.count = row.count;
        const RecordOutcome o = outcomeOf(scan, row.maximum);
        SCOPED_TRACE(QString::fromUtf16(row.maximum).toStdString());
        EXPECT_EQ(o.status, row.status);
        EXPECT_EQ(o.count, row.count);
        EXPECT_EQ(o.overLimit, row.over);
    }
}

// One record's page to its check, with nothing of a run around it.
TEST(CheckRecord, PagesToChecks) {
    RawServer server([](const RawServer::Connection& c) {
        const QByteArray target = test::requestTarget(c.request);
        QByteArray body;
        QByteArray headers;
        if (target == "/many") {
            for (int i = 0; i < 3; ++i) {
                body += "<a href=http://l" + QByteArray::number(i) + ".example.net/>x</a>";
            }
            body += "<a href=http://www.mysite.example.com/ rel=sponsored>me</a>";
        } else if (target == "/nofollow") {
            body =
                "<meta name=robots content=noindex><a href=http://mysite.example.com/ "
                "rel=nofollow>me</a>";
            headers = "X-Robots-Tag: nofollow\r\n";
        } else if (target == "/noindex") {
            body =
                "<noindex><a href=http://mysite.example.com/>me</a></noindex>"
                "<script src=/cdn-cgi/challenge-platform/x.js></script>";
        } else {
            c.send("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n");
            return;
        }
        c.send(test::httpResponse("200 OK", body, headers));
    });
    const QString base = u"http://127.0.0.1:%1"_s.arg(server.port());
    FetchSettings settings;
    settings.resolve = {u"www.127.0.0.1:%1:127.0.0.1"_s.arg(server.port())};
    struct Row {
        const char* what;
        QString path;
        QString link;
        RecordOutcome outcome;
        QString reason;
        PageSignals signals;
    };
    const QString me = u"http://mysite.example.com/"_s;
    const Row rows[] = {
        {"found, over the limit", u"/many"_s, me, {CheckStatus::Found, 4, true}, {}, RelSponsored},
        {"hidden by nofollow",
         u"/nofollow"_s,
         me,
         {CheckStatus::Hidden, 0, false},
         u"nofollow"_s,
         MetaNoindex | HeaderNofollow},
        {"inside noindex",
         u"/noindex"_s,
         me,
         {CheckStatus::Hidden, 0, false},
         u"noindex"_s,
         ChallengeMarker},
        {"no link to look for: no scan, no count",
         u"/many"_s,
         {},
         {CheckStatus::Missing, 0, false},
         u"no-link"_s,
         0},
        {"gone at both addresses",
         u"/gone"_s,
         me,
         {CheckStatus::FetchFailed, 0, false},
         u"http 404; http 404"_s,
         0},
    };
    const std::atomic<bool> noStop{false};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const RecordFields fields{base + row.path, row.link, u"2"_s, {}, {}};
        const RecordCheck check = checkRecord(fields, settings, noStop);
        EXPECT_EQ(check.outcome.status, row.outcome.status);
        EXPECT_EQ(check.outcome.count, row.outcome.count);
        EXPECT_EQ(check.outcome.overLimit, row.outcome.overLimit);
        EXPECT_EQ(check.reasonCode(), row.reason);
        EXPECT_EQ(check.pageSignals, row.signals);
        EXPECT_EQ(check.partnerUrl, fields.partnerUrl);
        EXPECT_EQ(check.link, fields.link);
    }

    // A stop that came during the download: the page is fetched, then
    // nothing is made of it. An abort cuts the download off: nothing either.
    const std::atomic<bool> stopped{true};
    const qsizetype before = server.requests().size();
    EXPECT_EQ(checkRecord({base + u"/many"_s, me, {}, {}, {}}, settings, stopped).outcome.status,
              CheckStatus::None);
    EXPECT_EQ(server.requests().size(), before + 1);
    AbortFlag abort;
    abort.set();
    settings.abort = &abort;
    EXPECT_EQ(checkRecord({base + u"/many"_s, me, {}, {}, {}}, settings, noStop).outcome.status,
              CheckStatus::None);
    EXPECT_EQ(server.requests().size(), before + 1);
}

TEST(CheckRecord, FieldsOfALine) {
    const RecordFields f = RecordFields::of(
        BuildRecordLine(u"p.example"_s, u"1"_s, u"e@x"_s, QDate(2024, 3, 9), u"my.example/links"_s,
                        u"25"_s, u"http://my.example/"_s, u"notes"_s));
    EXPECT_EQ(f.partnerUrl, u"p.example");
    EXPECT_EQ(f.link, u"http://my.example/");
    EXPECT_EQ(f.maximum, u"25");
    EXPECT_EQ(f.ownPage, u"my.example/links");
    EXPECT_FALSE(f.deadline.isEmpty());
}

}  // namespace
}  // namespace quorvel
