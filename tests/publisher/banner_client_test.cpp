#include <gtest/gtest.h>

#include <sys/socket.h>

#include <atomic>
#include <thread>

#include "publisher/banner.h"
#include "support/printers.h"
#include "support/raw_server.h"

namespace quorvel {
namespace {

using namespace Qt::StringLiterals;
using test::RawServer;

// An endless banner picture: the client hangs up soon after 1 MiB. The
// server counts what it managed to hand to its socket, which holds little
// (its send buffer is kept small), so the count is close to what the client took in.
TEST(BannerClient, StopsAnEndlessAnswerAtOneMebibyte) {
    std::atomic<qint64> sent{0};
    std::atomic<bool> done{false};
    RawServer server([&](const RawServer::Connection& c) {
        const int small = 64 * 1024;
        ::setsockopt(c.fd, SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
        c.send("HTTP/1.1 200 OK\r\n\r\n");
        const QByteArray block(16 * 1024, 'B');
        while (c.send(block)) {
            sent += block.size();
        }
        done = true;
    });
    const std::unique_ptr<HttpClient> client = makeBannerClient({});
    const HttpResponse r =
        client->get(u"http://127.0.0.1:%1/quorvel/banner.bmp"_s.arg(server.port()));
    EXPECT_EQ(r.result, HttpResponse::Result::Failed);
    EXPECT_EQ(r.reason.code(), u"too-large");
    for (int i = 0; i < 500 && !done; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_TRUE(done) << "the client still reads";
    EXPECT_GE(sent.load(), kBannerMaxBytes - 16 * 1024);
    EXPECT_LT(sent.load(), 4 * kBannerMaxBytes) << sent.load() << " bytes sent";
}

TEST(BannerClient, TakesAnAnswerOfOneMebibyte) {
    RawServer server([](const RawServer::Connection& c) {
        c.send(test::httpResponse("200 OK", QByteArray(kBannerMaxBytes, 'B')));
    });
    const HttpResponse r =
        makeBannerClient({})->get(u"http://127.0.0.1:%1/quorvel/banner.bmp"_s.arg(server.port()));
    EXPECT_EQ(r.result, HttpResponse::Result::Ok);
    EXPECT_EQ(r.body.size(), kBannerMaxBytes);
}

}  // namespace
}  // namespace quorvel
