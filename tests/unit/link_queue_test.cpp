#include "net/link_queue.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "net/telnet.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::unique_ptr<LinkQueue> fresh() {
  auto q = std::make_unique<LinkQueue>();
  link_queue_init(q.get());
  return q;
}

// Sends at most `limit` bytes a call (a socket that takes only so much),
// as the link thread does; returns what went on the wire.
Bytes drain(LinkQueue* q, int limit, int hold = 0, int64_t now = 0) {
  Bytes wire;
  const uint8_t* p = nullptr;
  for (int n; (n = link_queue_peek(q, hold, &p)) > 0;) {
    const int take = n < limit ? n : limit;
    wire.insert(wire.end(), p, p + take);
    link_queue_sent(q, take, now);
  }
  return wire;
}

struct Collected {
  std::vector<LinkItem> items;
  Bytes data;
};
Collected collect(LinkQueue* q) {
  Collected c;
  LinkItem it;
  uint8_t data[kLinkItemMax];
  while (link_queue_collect(q, &it, data)) {
    c.items.push_back(it);
    if (it.kind == kLinkData) c.data.insert(c.data.end(), data, data + it.data);
  }
  return c;
}

TEST(LinkQueue, WritesLeaveWholeInOrderThroughPartialSendsAndComeBackUnescaped) {
  auto q = fresh();
  const Bytes a = {0x41, 0xFF, 0xFF, 0x42};
  const uint8_t cmd[] = {kTelnetIac, kTelnetSb, kTelnetOptComPort, 1, 0, 0, 0x96, 0, kTelnetIac, kTelnetSe};
  ASSERT_EQ(link_queue_put_data(q.get(), a.data(), 4, 1, 1, 10), 0);
  ASSERT_EQ(link_queue_put_command(q.get(), cmd, sizeof cmd, 11), 0);
  ASSERT_EQ(link_queue_put_data(q.get(), a.data(), 4, 0, 0, 12), 0);
  // One byte a send: each resumes exactly where the last stopped.
  const Bytes wire = drain(q.get(), 1);
  Bytes want = {0x41, 0xFF, 0xFF, 0xFF, 0xFF, 0x42};
  want.insert(want.end(), cmd, cmd + sizeof cmd);
  want.insert(want.end(), a.begin(), a.end());
  EXPECT_EQ(wire, want);
  const Collected c = collect(q.get());
  ASSERT_EQ(c.items.size(), 3u);
  EXPECT_EQ(c.items[0].handed, 10);
  EXPECT_EQ(c.items[0].record, 1);
  EXPECT_EQ(c.items[1].kind, kLinkCommand);
  EXPECT_EQ(c.data, (Bytes{0x41, 0xFF, 0xFF, 0x42, 0x41, 0xFF, 0xFF, 0x42}));
  EXPECT_FALSE(link_queue_busy(q.get()));
}

TEST(LinkQueue, AWriteNotWhollyGoneIsNotCollected) {
  auto q = fresh();
  const Bytes a(100, 0x55);
  ASSERT_EQ(link_queue_put_data(q.get(), a.data(), 100, 1, 1, 0), 0);
  const uint8_t* p;
  ASSERT_EQ(link_queue_peek(q.get(), 0, &p), 100);
  link_queue_sent(q.get(), 99, 0);
  EXPECT_TRUE(collect(q.get()).items.empty());
  link_queue_sent(q.get(), 1, 0);
  EXPECT_EQ(collect(q.get()).data, a);
}

TEST(LinkQueue, TheWritePartlyGoneAtAnEndGivesTheDataBytesThatLeftWhole) {
  const Bytes data = {'A', 0xFF, 'B', 'C'};  // on the wire: 41 FF FF 42 43
  for (int gone = 0; gone <= 5; gone++) {
    auto q = fresh();
    ASSERT_EQ(link_queue_put_data(q.get(), data.data(), 4, 1, 1, 7), 0);
    link_queue_sent(q.get(), gone, 1);
    LinkItem item;
    uint8_t got[kLinkItemMax];
    const int partial = link_queue_partial(q.get(), &item, got);
    EXPECT_EQ(partial, gone > 0 && gone < 5) << gone;
    if (!partial) continue;
    // 41 | 41 FF (its double still here: no data) | 41 FF FF | 41 FF FF 42
    const Bytes want(data.begin(), data.begin() + (gone == 1 || gone == 2 ? 1 : gone - 1));
    EXPECT_EQ(Bytes(got, got + item.data), want) << gone;
    EXPECT_EQ(item.handed, 7);
  }
  // A command partly gone carries no data.
  auto q = fresh();
  const uint8_t command[3] = {0xFF, 0xFB, 0x2C};
  link_queue_put_command(q.get(), command, 3, 0);
  link_queue_sent(q.get(), 2, 1);
  LinkItem item;
  uint8_t got[kLinkItemMax];
  ASSERT_EQ(link_queue_partial(q.get(), &item, got), 1);
  EXPECT_EQ(item.kind, kLinkCommand);
  EXPECT_EQ(item.data, 0u);
}

TEST(LinkQueue, AFullQueueRefusesDataWholeButKeepsRoomForCommands) {
  auto q = fresh();
  const Bytes ff(kLinkItemMax, 0xFF);  // doubles on the wire
  int taken = 0;
  while (link_queue_put_data(q.get(), ff.data(), kLinkItemMax, 1, 1, 0) == 0) taken++;
  EXPECT_EQ(taken, (kLinkQueueBytes - kLinkQueueReserve) / (2 * kLinkItemMax));
  const Bytes one = {1};
  EXPECT_EQ(link_queue_put_data(q.get(), one.data(), 1, 1, 1, 0), -1);
  const uint8_t reply[3] = {kTelnetIac, kTelnetWont, 1};
  EXPECT_EQ(link_queue_put_command(q.get(), reply, 3, 0), 0);
  // Whatever wraps the ring comes back whole once sent and collected.
  const Bytes wire = drain(q.get(), 7);
  EXPECT_EQ(Bytes(wire.end() - 3, wire.end()), Bytes(reply, reply + 3));
  const Collected c = collect(q.get());
  EXPECT_EQ(c.data.size(), static_cast<size_t>(taken * kLinkItemMax));
  // Room again, across the ring's end.
  for (int k = 0; k < 200; k++) {
    ASSERT_EQ(link_queue_put_data(q.get(), ff.data(), 300, 1, 1, 0), 0) << k;
    EXPECT_EQ(drain(q.get(), 1000), Bytes(600, 0xFF));
    EXPECT_EQ(collect(q.get()).data, Bytes(300, 0xFF));
  }
}

TEST(LinkQueue, ManySmallWritesAreBoundedByTheirCount) {
  auto q = fresh();
  const uint8_t b = 7;
  int taken = 0;
  while (link_queue_put_data(q.get(), &b, 1, 0, 1, 0) == 0) taken++;
  EXPECT_EQ(taken, kLinkQueueItems - kLinkQueueItemReserve);
  EXPECT_EQ(link_queue_put_command(q.get(), &b, 1, 0), 0);
}

TEST(LinkQueue, AHoldKeepsDataButLetsTheCommandsBeforeItGo) {
  auto q = fresh();
  const uint8_t cmd[3] = {kTelnetIac, kTelnetDo, 3};
  const Bytes d = {1, 2, 3};
  link_queue_put_command(q.get(), cmd, 3, 0);
  link_queue_put_data(q.get(), d.data(), 3, 1, 1, 0);
  link_queue_put_command(q.get(), cmd, 3, 0);
  EXPECT_EQ(drain(q.get(), 100, 1), Bytes(cmd, cmd + 3));
  const uint8_t* p;
  EXPECT_EQ(link_queue_peek(q.get(), 1, &p), 0);
  // A hold is no stall, however long.
  EXPECT_EQ(link_queue_stalled(q.get(), 1, 60000000), 0);
  EXPECT_EQ(drain(q.get(), 100, 0).size(), 6u);
}

TEST(LinkQueue, APeerThatTakesNothingForTheLimitHasStalled) {
  auto q = fresh();
  EXPECT_EQ(link_queue_stalled(q.get(), 0, 1000), 0);  // empty: never
  const Bytes d(10, 1);
  // Handed over long after the last look: the wait starts then.
  link_queue_put_data(q.get(), d.data(), 10, 0, 1, 90000000);
  EXPECT_EQ(link_queue_stalled(q.get(), 0, 90000000 + kLinkStallLimitUs), 0);
  const uint8_t* p;
  link_queue_peek(q.get(), 0, &p);
  link_queue_sent(q.get(), 5, 94000000);  // some left: the wait starts again
  EXPECT_EQ(link_queue_stalled(q.get(), 0, 94000000 + kLinkStallLimitUs), 0);
  EXPECT_EQ(link_queue_stalled(q.get(), 0, 94000001 + kLinkStallLimitUs), 1);
}

}  // namespace
