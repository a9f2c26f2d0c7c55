// Faults found in review of the transfer machines: each case fails while
// the fault is there.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "transfer/transfer.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Sink {
  std::string name;
  Bytes data;
  int begun = 0;
  std::vector<int> whole;
};

int sink_begin(void* ctx, const char* name, int length, int64_t) {
  auto* s = static_cast<Sink*>(ctx);
  s->begun++;
  s->name.assign(name ? name : "", static_cast<size_t>(length));
  return 0;
}
int sink_write(void* ctx, const uint8_t* bytes, int count) {
  static_cast<Sink*>(ctx)->data.insert(static_cast<Sink*>(ctx)->data.end(), bytes, bytes + count);
  return 0;
}
void sink_end(void* ctx, int whole) { static_cast<Sink*>(ctx)->whole.push_back(whole); }

Bytes turn(Transfer* t, const Bytes& in, uint32_t now) {
  TransferOut out;
  transfer_step(t, in.data(), static_cast<int>(in.size()), now, &out);
  return Bytes(out.bytes, out.bytes + out.count);
}

Bytes frame(int number, const Bytes& data) {
  uint8_t f[kTransferFrameMost];
  const int n = transfer_frame(f, 128, number, data.data(), static_cast<int>(data.size()), kXmPad, 1);
  return Bytes(f, f + n);
}

Bytes header(const char* name, int64_t size) {
  uint8_t b[128];
  transfer_header(b, 128, name, static_cast<int>(std::strlen(name)), size);
  return frame(0, Bytes(b, b + 128));
}

Bytes pattern(size_t n) {
  Bytes b(n);
  for (size_t i = 0; i < n; i++) b[i] = static_cast<uint8_t>('a' + i % 26);
  return b;
}

// A YMODEM receiver given block 0 (name, size), then `data` in 128-byte
// blocks, then EOT twice, as a sender whose size field lies would send it.
void receive_ymodem(Sink* sink, Transfer* t, const char* name, int64_t size, const Bytes& data) {
  TransferSink k = {sink, sink_begin, sink_write, sink_end};
  transfer_receive_begin(t, kTransferYmodem, &k, 0, 0);
  uint32_t now = 0;
  turn(t, {}, now);
  turn(t, header(name, size), now += 10);
  for (size_t at = 0, number = 1; at < data.size(); at += 128, number++) {
    const size_t n = data.size() - at < 128 ? data.size() - at : 128;
    turn(t, frame(static_cast<int>(number), Bytes(data.begin() + at, data.begin() + at + n)), now += 10);
  }
  turn(t, {kXmEot}, now += 10);
  turn(t, {kXmEot}, now += 10);
}

}  // namespace

// Device names Windows resolves in any folder besides CON, COM1 and the
// like: COM and LPT with the ISO 8859-1 superscript digits (taken for
// digits: COM¹ is the first serial port), which come as UTF-8 or as a
// Latin-1 byte the ANSI code page turns into the same character; and the
// console's CONIN$ and CONOUT$.
TEST(TransferReview, DeviceNamesWindowsReservesAreRefused) {
  for (const char* name : {"COM\xC2\xB9", "com\xC2\xB2.bin", "LPT\xC2\xB3.txt", "COM\xB9", "lpt\xB2.hex", "CONIN$",
                           "conout$.log"}) {
    SCOPED_TRACE(name);
    EXPECT_NE(transfer_name_check(name, static_cast<int>(std::strlen(name))), kNameOk);
    Sink sink;
    Transfer t{};
    TransferSink k = {&sink, sink_begin, sink_write, sink_end};
    transfer_receive_begin(&t, kTransferYmodem, &k, 0, 0);
    turn(&t, {}, 0);
    turn(&t, header(name, 10), 10);
    EXPECT_EQ(sink.begun, 0);
  }
  // The same names once the code page has made them UTF-16, and COM0.
  for (const char16_t* name : {u"COM\u00B9", u"lpt\u00B3.hex", u"Com0.txt", u"CONIN$ .x", u"aux"})
    EXPECT_TRUE(transfer_device_name(name, static_cast<int>(std::char_traits<char16_t>::length(name))));
  for (const char16_t* name : {u"COM10", u"COM\u00B9x", u"CONOUT", u"console.txt", u"LPT\u00B4"})
    EXPECT_FALSE(transfer_device_name(name, static_cast<int>(std::char_traits<char16_t>::length(name))));
}

// A block 0 whose size lies. Larger than the data (300 announced, 150 sent
// in two blocks, the second padded): the file is kept as 256 bytes, the
// padding written as data, and reported whole. Smaller (10 announced,
// three whole blocks sent): the blocks past the size are acknowledged and
// dropped, and the 10 bytes reported whole. Either way the file must not
// pass for whole unless it is what was sent.
TEST(TransferReview, YmodemSizeThatLiesIsNotPassedOffAsWhole) {
  const struct {
    int64_t announced;
    size_t sent;
  } cases[] = {{300, 150}, {10, 384}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.announced << " announced, " << c.sent << " sent");
    Sink sink;
    Transfer t{};
    const Bytes data = pattern(c.sent);
    receive_ymodem(&sink, &t, "lie.bin", c.announced, data);
    ASSERT_EQ(sink.whole.size(), 1u);
    const bool flagged = t.status == kTransferFailed || sink.whole[0] == 0;
    EXPECT_TRUE(flagged || sink.data == data) << "reported whole: a file of " << sink.data.size() << " bytes";
    // Decided: every block that came is kept, whatever the size said, and
    // the transfer fails saying both numbers.
    EXPECT_EQ(t.failure, kTransferSizeMismatch);
    EXPECT_EQ(t.progress.size, c.announced);
    EXPECT_EQ(sink.data.size(), (c.sent + 127) / 128 * 128);
    EXPECT_EQ(t.progress.bytes, static_cast<int64_t>(sink.data.size()));
    EXPECT_TRUE(std::equal(data.begin(), data.end(), sink.data.begin()));
  }
}

// A device that chatters without a pause (a wrong baud rate, a log that
// never stops) and whose chatter holds an SOH: after the first bad block
// the receiver waits for a quiet line that never comes, and never ends by
// itself (so a macro's XRCV never reaches its failure label).
TEST(TransferReview, ReceiverEndsOnALineThatNeverGoesQuiet) {
  for (int protocol : {kTransferXmodem, kTransferYmodem}) {
    SCOPED_TRACE(protocol);
    Sink sink;
    Transfer t{};
    TransferSink k = {&sink, sink_begin, sink_write, sink_end};
    transfer_receive_begin(&t, protocol, &k, 0, 0);
    Bytes chatter = pattern(40);
    chatter[5] = kXmSoh;
    uint32_t now = 0;
    // One hour of fake time, 40 bytes every 100 ms.
    for (; now < 3600000 && t.status == kTransferRunning; now += 100) turn(&t, chatter, now);
    EXPECT_NE(t.status, kTransferRunning) << "still running after " << now / 1000 << " s";
  }
}

// A YMODEM receiver that starts with NAK asks for checksums: block 0 still
// goes with a CRC, which that receiver takes for a bad block and NAKs, the
// same block goes again, and after ten tries the send fails. (Data blocks
// do follow the NAK; only block 0 ignores it.)
TEST(TransferReview, YmodemBlockZeroFollowsAReceiversNak) {
  static const char kName[] = "fw.bin";
  static const uint8_t kData[3] = {1, 2, 3};
  struct One {
    int next;
  } one = {0};
  TransferSource s = {&one,
                      [](void* ctx, char name[kTransferNameMost], int* length, int64_t* size) {
                        if (static_cast<One*>(ctx)->next++) return 0;
                        std::memcpy(name, kName, sizeof kName - 1);
                        *length = sizeof kName - 1;
                        *size = sizeof kData;
                        return 1;
                      },
                      [](void*, uint8_t* bytes, int most) {
                        std::memcpy(bytes, kData, most < 3 ? static_cast<size_t>(most) : 3u);
                        return most < 3 ? most : 3;
                      }};
  Transfer t{};
  transfer_send_begin(&t, kTransferYmodem, &s, nullptr, 0);
  const Bytes block0 = turn(&t, {kXmNak}, 10);
  ASSERT_FALSE(block0.empty());
  EXPECT_EQ(block0.size(), 3u + 128u + 1u) << "block 0 carries a CRC the receiver did not ask for";
}

// The manual says a macro's raw receive ends after 5 s without data. One
// where nothing at all comes never ends: XRCV R waits forever and never
// reaches its label.
TEST(TransferReview, RawReceiveWithNothingArrivingEndsAfterItsQuiet) {
  Sink sink;
  Transfer t{};
  TransferSink k = {&sink, sink_begin, sink_write, sink_end};
  transfer_receive_begin(&t, kTransferRaw, &k, 5000, 0);
  uint32_t now = 0;
  for (; now <= 3600000 && t.status == kTransferRunning; now += 500) turn(&t, {}, now);
  EXPECT_NE(t.status, kTransferRunning) << "still waiting after " << now / 1000 << " s";
}
