#include "checking/page_memory.h"

#include <gtest/gtest.h>

#include <future>
#include <thread>

namespace quorvel {
namespace {

using namespace std::chrono_literals;

// Room is taken up to the limit; past it a page waits until room is given
// back, unless it is alone, or every page that holds room waits as well.
TEST(PageMemory, RoomIsTakenUpToTheLimit) {
    PageMemory memory(100);
    PageLease a(memory), b(memory), c(memory);
    EXPECT_TRUE(a.tryTake(60));
    EXPECT_TRUE(b.tryTake(40));
    EXPECT_FALSE(c.tryTake(1)) << "the limit is reached";
    b.giveBack(40);
    EXPECT_TRUE(c.tryTake(40));
    EXPECT_EQ(memory.inUse(), 100);
}

TEST(PageMemory, APageLargerThanAllTheRoomLoadsAlone) {
    PageMemory memory(100);
    auto big = std::make_unique<PageLease>(memory);
    EXPECT_TRUE(big->tryTake(80));
    EXPECT_TRUE(big->tryTake(400)) << "nothing else holds room";
    PageLease small(memory);
    EXPECT_FALSE(small.tryTake(1));
    big.reset();
    EXPECT_EQ(memory.inUse(), 0);
    EXPECT_TRUE(small.tryTake(1));
}

TEST(PageMemory, WhenEveryHolderWaitsTheLongestWaitingGoesOn) {
    PageMemory memory(100);
    PageLease a(memory), b(memory), fresh(memory);
    ASSERT_TRUE(a.tryTake(60));
    ASSERT_TRUE(b.tryTake(40));
    EXPECT_FALSE(fresh.tryTake(10)) << "a page that holds nothing never passes the limit";
    EXPECT_FALSE(a.tryTake(10)) << "b may still give room back";
    EXPECT_FALSE(b.tryTake(10));
    EXPECT_FALSE(b.tryTake(10)) << "a waited first";
    EXPECT_TRUE(a.tryTake(10));
    EXPECT_FALSE(b.tryTake(10)) << "a goes on: no longer waiting";
    EXPECT_TRUE(a.tryTake(10)) << "a keeps its turn: one page at a time past the limit";
    EXPECT_FALSE(b.tryTake(10));
    a.giveBack(80);
    EXPECT_TRUE(b.tryTake(10));
    EXPECT_TRUE(fresh.tryTake(10));
}

// A download that waits for room goes on as soon as another page is done.
TEST(PageMemory, AWaitEndsWhenRoomIsGivenBack) {
    PageMemory memory(100);
    auto first = std::make_unique<PageLease>(memory);
    ASSERT_TRUE(first->tryTake(90));
    std::promise<void> waiting;
    std::future<bool> went = std::async(std::launch::async, [&] {
        PageLease second(memory);
        bool told = false;
        const auto until = std::chrono::steady_clock::now() + 30s;
        while (!second.tryTake(50)) {
            if (!told) {
                waiting.set_value();
                told = true;
            }
            if (std::chrono::steady_clock::now() > until) {
                return false;
            }
            second.waitForRoom(10s);
        }
        return told;
    });
    waiting.get_future().wait();
    first.reset();
    ASSERT_EQ(went.wait_for(30s), std::future_status::ready);
    EXPECT_TRUE(went.get());
    EXPECT_EQ(memory.inUse(), 0);
}

}  // namespace
}  // namespace quorvel
