// The transfer machines against scripted peers and against each other over
// a line that loses, damages or repeats what it carries, on a fake clock.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "transfer/transfer.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct MemFile {
  std::string name;
  Bytes data;
};

struct MemSource {
  std::vector<MemFile> files;
  size_t next = 0, at = 0;
  int fail_read = 0;
  int name_too_long = 0;
};

int source_next(void* ctx, char name[kTransferNameMost], int* name_length, int64_t* size) {
  auto* s = static_cast<MemSource*>(ctx);
  if (s->next >= s->files.size()) return 0;
  const MemFile& f = s->files[s->next++];
  s->at = 0;
  if (s->name_too_long) return kSourceNameTooLong;
  std::memcpy(name, f.name.data(), f.name.size());
  *name_length = static_cast<int>(f.name.size());
  *size = static_cast<int64_t>(f.data.size());
  s->at = 0;
  return 1;
}

int source_read(void* ctx, uint8_t* bytes, int most) {
  auto* s = static_cast<MemSource*>(ctx);
  if (s->fail_read) return -1;
  const Bytes& d = s->files[s->next - 1].data;
  const int n = static_cast<int>(std::min<size_t>(static_cast<size_t>(most), d.size() - s->at));
  if (n > 0) std::memcpy(bytes, d.data() + s->at, static_cast<size_t>(n));
  s->at += static_cast<size_t>(n);
  return n;
}

struct MemSink {
  std::vector<MemFile> files;
  std::vector<int> whole;
  int refuse = 0;
  int begun = 0;
};

int sink_begin(void* ctx, const char* name, int name_length, int64_t) {
  auto* s = static_cast<MemSink*>(ctx);
  s->begun++;
  if (s->refuse) return s->refuse;
  s->files.push_back({std::string(name ? name : "", static_cast<size_t>(name_length)), {}});
  return 0;
}

int sink_write(void* ctx, const uint8_t* bytes, int count) {
  auto* s = static_cast<MemSink*>(ctx);
  s->files.back().data.insert(s->files.back().data.end(), bytes, bytes + count);
  return 0;
}

void sink_end(void* ctx, int whole) { static_cast<MemSink*>(ctx)->whole.push_back(whole); }

Bytes random_bytes(size_t n, uint32_t seed) {
  Bytes b(n);
  for (auto& x : b) {
    seed = seed * 1103515245u + 12345u;
    x = static_cast<uint8_t>(seed >> 16);
  }
  return b;
}

// Sender and receiver machines over a line. `to_receiver` and `to_sender`
// may change what crosses (return it changed, or empty to lose it). Time
// moves a millisecond a turn, or jumps to the earlier wake when the line
// is idle.
struct Pair {
  MemSource source;
  MemSink sink;
  Transfer tx{}, rx{};
  std::function<Bytes(Bytes, int)> to_receiver = [](Bytes b, int) { return b; };
  std::function<Bytes(Bytes, int)> to_sender = [](Bytes b, int) { return b; };
  uint32_t now = 1000;

  void run(int protocol, uint32_t limit_ms = 3600000) {
    TransferSource src = {&source, source_next, source_read};
    TransferSink snk = {&sink, sink_begin, sink_write, sink_end};
    transfer_send_begin(&tx, protocol, &src, nullptr, now);
    transfer_receive_begin(&rx, protocol, &snk, 0, now);
    Bytes a, b;  // on their way to the receiver, to the sender
    int sent = 0, answered = 0;
    const uint32_t end = now + limit_ms;
    TransferOut out;
    while (transfer_due(end, now) && (tx.status == kTransferRunning || rx.status == kTransferRunning)) {
      transfer_step(&rx, a.data(), static_cast<int>(a.size()), now, &out);
      a.clear();
      if (out.count) b = to_sender(Bytes(out.bytes, out.bytes + out.count), answered++);
      transfer_step(&tx, b.data(), static_cast<int>(b.size()), now, &out);
      b.clear();
      if (out.count) a = to_receiver(Bytes(out.bytes, out.bytes + out.count), sent++);
      if (a.empty()) {
        const uint32_t w1 = tx.status == kTransferRunning ? transfer_wake(&tx) : now + 100000;
        const uint32_t w2 = rx.status == kTransferRunning ? transfer_wake(&rx) : now + 100000;
        const uint32_t w = transfer_due(w1, w2) ? w2 : w1;
        now = transfer_due(now, w) ? now + 1 : w;
      } else {
        now += 1;
      }
    }
  }
};

TEST(Transfer, EveryProtocolCarriesFilesOfEveryEdgeSize) {
  const size_t sizes[] = {0, 1, 127, 128, 129, 1023, 1024, 1025, 5000};
  for (int protocol : {kTransferXmodem, kTransferXmodem1k, kTransferYmodem}) {
    for (size_t size : sizes) {
      Pair p;
      Bytes data = random_bytes(size, static_cast<uint32_t>(size));
      if (!data.empty() && data.back() == kXmPad) data.back() = 0;
      p.source.files = {{"f.bin", data}};
      p.run(protocol);
      SCOPED_TRACE(testing::Message() << "protocol " << protocol << " size " << size);
      ASSERT_EQ(p.tx.status, kTransferDone);
      ASSERT_EQ(p.rx.status, kTransferDone);
      ASSERT_EQ(p.sink.files.size(), 1u);
      EXPECT_EQ(p.sink.files[0].data, data);
      EXPECT_EQ(p.sink.whole, std::vector<int>{1});
      EXPECT_EQ(p.tx.progress.retries, 0);
    }
  }
}

TEST(Transfer, BlockNumbersWrapThroughZero) {
  // More than 256 blocks: XMODEM's of 128 bytes, YMODEM's of 1024.
  for (int protocol : {kTransferXmodem, kTransferYmodem}) {
    SCOPED_TRACE(protocol);
    Pair p;
    const int block = protocol == kTransferXmodem ? 128 : 1024;
    Bytes data = random_bytes(300 * block + 5, 21);
    p.source.files = {{"w.bin", data}};
    p.run(protocol);
    ASSERT_EQ(p.rx.status, kTransferDone);
    EXPECT_EQ(p.sink.files[0].data, data);
    EXPECT_EQ(p.tx.progress.blocks, 301);
  }
}

TEST(Transfer, YmodemKeepsNamesExactSizesAndTrailingPadding) {
  Pair p;
  Bytes ends_in_pad = random_bytes(300, 7);
  ends_in_pad.back() = kXmPad;
  p.source.files = {{"one.bin", random_bytes(2100, 1)}, {"two.txt", ends_in_pad}, {"empty", {}}};
  p.run(kTransferYmodem);
  ASSERT_EQ(p.rx.status, kTransferDone);
  ASSERT_EQ(p.sink.files.size(), 3u);
  for (int i = 0; i < 3; i++) {
    EXPECT_EQ(p.sink.files[i].name, p.source.files[i].name);
    EXPECT_EQ(p.sink.files[i].data, p.source.files[i].data);
  }
  EXPECT_EQ(p.rx.progress.files, 3);
  EXPECT_EQ(p.tx.progress.total_bytes, 2400);
}

TEST(Transfer, XmodemDropsOnlyTheLastBlocksPadding) {
  Pair p;
  Bytes data = random_bytes(200, 3);
  data[100] = kXmPad;  // inside: kept
  data[198] = data[199] = kXmPad;  // at the end: taken for padding
  p.source.files = {{"", data}};
  p.run(kTransferXmodem);
  ASSERT_EQ(p.rx.status, kTransferDone);
  EXPECT_EQ(p.sink.files[0].data, Bytes(data.begin(), data.end() - 2));
}

TEST(Transfer, LineFaultsAreRepairedByRetries) {
  const Bytes data = random_bytes(3000, 11);
  struct Case {
    const char* what;
    int protocol;
    std::function<Bytes(Bytes, int)> to_receiver, to_sender;
    int retries = 1;  // at least
  };
  int eots = 0;
  const auto same = [](Bytes b, int) { return b; };
  const Case cases[] = {
      {"lost ACK", kTransferXmodem, same, [](Bytes b, int i) { return i == 3 ? Bytes{} : b; }},
      {"damaged block", kTransferXmodem1k, [](Bytes b, int i) { if (i == 2) b[40] ^= 1; return b; }, same},
      {"block cut short", kTransferYmodem, [](Bytes b, int i) { if (i == 3) b.resize(100); return b; }, same},
      {"lost block", kTransferXmodem, [](Bytes b, int i) { return i == 4 ? Bytes{} : b; }, same},
      {"lost EOTs", kTransferYmodem, [&eots](Bytes b, int) { return b == Bytes{kXmEot} && eots++ < 2 ? Bytes{} : b; },
       same},
      {"noise before answer", kTransferXmodem, same,
       [](Bytes b, int i) { if (i == 2) b.insert(b.begin(), 'x'); return b; }, 0},
      {"lost block 0 ACK", kTransferYmodem, same, [](Bytes b, int i) { return i == 1 ? Bytes{} : b; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Pair p;
    p.source.files = {{"a.bin", data}};
    p.to_receiver = c.to_receiver;
    p.to_sender = c.to_sender;
    p.run(c.protocol);
    ASSERT_EQ(p.tx.status, kTransferDone);
    ASSERT_EQ(p.rx.status, kTransferDone);
    EXPECT_EQ(p.sink.files.back().data, data);
    EXPECT_GE(p.tx.progress.retries + p.rx.progress.retries, c.retries);
  }
}

// One scripted exchange with a machine: feed bytes at a time, see what it wrote.
Bytes turn(Transfer* t, const Bytes& in, uint32_t now, int* status = nullptr) {
  TransferOut out;
  const int s = transfer_step(t, in.data(), static_cast<int>(in.size()), now, &out);
  if (status) *status = s;
  return Bytes(out.bytes, out.bytes + out.count);
}

Bytes frame(int size, int number, const Bytes& data, int crc) {
  uint8_t f[kTransferFrameMost];
  const int n = transfer_frame(f, size, number, data.data(), static_cast<int>(data.size()), kXmPad, crc);
  return Bytes(f, f + n);
}

TEST(Transfer, SenderFollowsTheReceiversChoiceOfCheck) {
  MemSource src;
  src.files = {{"x", random_bytes(2048, 5)}};
  TransferSource s = {&src, source_next, source_read};
  Transfer t{};
  transfer_send_begin(&t, kTransferXmodem1k, &s, nullptr, 0);
  // A checksum receiver gets 128-byte blocks with one check byte, even on 1K.
  Bytes b = turn(&t, {kXmNak}, 10);
  EXPECT_EQ(b, frame(128, 1, Bytes(src.files[0].data.begin(), src.files[0].data.begin() + 128), 0));
  // A CRC receiver gets 1K blocks.
  Transfer u{};
  src.next = 0;
  transfer_send_begin(&u, kTransferXmodem1k, &s, nullptr, 0);
  b = turn(&u, {kXmCrc}, 10);
  ASSERT_EQ(b.size(), 1029u);
  EXPECT_EQ(b[0], kXmStx);
  // Two ACKs in one read: the second came before the block, and is thrown away.
  b = turn(&u, {kXmAck, kXmAck}, 20);
  EXPECT_EQ(b[1], 2);
  EXPECT_EQ(u.progress.blocks, 1);
}

TEST(Transfer, ReceiverAsksForCrcThenFallsBackToChecksum) {
  MemSink sink;
  TransferSink k = {&sink, sink_begin, sink_write, sink_end};
  Transfer t{};
  transfer_receive_begin(&t, kTransferXmodem, &k, 0, 0);
  Bytes asks;
  for (uint32_t now = 0; now <= 13000; now += 500) {
    Bytes b = turn(&t, {}, now);
    asks.insert(asks.end(), b.begin(), b.end());
  }
  EXPECT_EQ(asks, (Bytes{'C', 'C', 'C', 'C', kXmNak}));
  // A checksum block is taken now, and its data held until the end.
  const Bytes data = random_bytes(128, 9);
  EXPECT_EQ(turn(&t, frame(128, 1, data, 0), 13100), Bytes{kXmAck});
  EXPECT_EQ(turn(&t, {kXmEot}, 13200), Bytes{kXmAck});
  EXPECT_EQ(sink.files[0].data, data);
}

TEST(Transfer, ReceiverTakesADoubledBlockOnceAndRefusesOneOutOfStep) {
  MemSink sink;
  TransferSink k = {&sink, sink_begin, sink_write, sink_end};
  Transfer t{};
  transfer_receive_begin(&t, kTransferXmodem, &k, 0, 0);
  turn(&t, {}, 0);
  const Bytes d1 = random_bytes(128, 1), d2 = random_bytes(128, 2);
  EXPECT_EQ(turn(&t, frame(128, 1, d1, 1), 10), Bytes{kXmAck});
  EXPECT_EQ(turn(&t, frame(128, 1, d1, 1), 20), Bytes{kXmAck});
  EXPECT_EQ(turn(&t, frame(128, 2, d2, 1), 30), Bytes{kXmAck});
  EXPECT_EQ(t.progress.blocks, 2);
  int status = 0;
  EXPECT_EQ(turn(&t, frame(128, 4, d2, 1), 40, &status), (Bytes{kXmCan, kXmCan}));
  EXPECT_EQ(status, kTransferFailed);
  EXPECT_EQ(t.failure, kTransferOutOfStep);
  EXPECT_EQ(sink.files[0].data, d1);  // block 2 was held, never known to be whole
  EXPECT_EQ(sink.whole, std::vector<int>{0});
}

TEST(Transfer, CancelAndSilenceEndEitherSide) {
  MemSource src;
  src.files = {{"x", random_bytes(500, 5)}};
  TransferSource s = {&src, source_next, source_read};
  Transfer t{};
  int status = 0;
  // A receiver's single CAN is noise; two in a row end the send.
  transfer_send_begin(&t, kTransferXmodem, &s, nullptr, 0);
  turn(&t, {kXmCrc}, 0);
  turn(&t, {kXmCan}, 5);
  EXPECT_EQ(t.status, kTransferRunning);
  turn(&t, {kXmAck}, 10);
  turn(&t, {kXmCan, kXmCan}, 20, &status);
  EXPECT_EQ(status, kTransferFailed);
  EXPECT_EQ(t.failure, kTransferPeerCancelled);
  // Our cancel sends CAN twice: at once while nothing is on its way; with
  // a block on its way, once the receiver has answered it (or after 1 s).
  src.next = 0;
  transfer_send_begin(&t, kTransferXmodem, &s, nullptr, 0);
  TransferOut out;
  transfer_cancel(&t, 0, &out);
  EXPECT_EQ(Bytes(out.bytes, out.bytes + out.count), (Bytes{kXmCan, kXmCan}));
  EXPECT_EQ(t.failure, kTransferCancelled);
  for (int answered : {1, 0}) {
    src.next = 0;
    transfer_send_begin(&t, kTransferXmodem, &s, nullptr, 0);
    turn(&t, {kXmCrc}, 0);
    transfer_cancel(&t, 10, &out);
    EXPECT_EQ(out.count, 0);
    EXPECT_TRUE(turn(&t, {}, 500).empty());
    EXPECT_EQ(turn(&t, answered ? Bytes{kXmAck} : Bytes{}, answered ? 600 : 10 + kXmCharWaitMs, &status),
              (Bytes{kXmCan, kXmCan}));
    EXPECT_EQ(status, kTransferFailed);
    EXPECT_EQ(t.failure, kTransferCancelled);
  }
  // A receiver that never starts: after 60 s the send ends.
  src.next = 0;
  transfer_send_begin(&t, kTransferYmodem, &s, nullptr, 0);
  EXPECT_TRUE(turn(&t, {}, 59999).empty());
  turn(&t, {}, 60000, &status);
  EXPECT_EQ(t.failure, kTransferNoStart);
  // A YMODEM receiver that says nothing to the batch's end: the send is done.
  src.next = 0;
  transfer_send_begin(&t, kTransferYmodem, &s, nullptr, 0);
  turn(&t, {kXmCrc}, 0);
  turn(&t, {kXmAck, kXmCrc}, 10);
  while (t.state != 0 && turn(&t, {kXmAck}, 20).size() != 1) {}
  turn(&t, {kXmAck, kXmCrc}, 30);  // the EOT's
  EXPECT_EQ(turn(&t, {}, 30 + kXmAnswerMs - 1, &status).size(), 0u);
  turn(&t, {}, 30 + kXmAnswerMs, &status);
  EXPECT_EQ(status, kTransferDone);
  EXPECT_EQ(t.progress.files, 1);
  EXPECT_EQ(t.progress.end_unanswered, 1);
  // An XMODEM receiver that took every block and is silent to EOT twice:
  // done, the end unanswered. One that NAKs it goes on being asked.
  for (int naks : {0, 1}) {
    src.next = 0;
    transfer_send_begin(&t, kTransferXmodem, &s, nullptr, 0);
    turn(&t, {kXmCrc}, 0);
    uint32_t now = 10;
    while (turn(&t, {kXmAck}, now) != Bytes{kXmEot}) now += 10;
    EXPECT_EQ(turn(&t, naks ? Bytes{kXmNak} : Bytes{}, now + kXmAnswerMs), Bytes{kXmEot});
    turn(&t, {}, now + 3 * kXmAnswerMs, &status);
    EXPECT_EQ(status, naks ? kTransferRunning : kTransferDone);
    EXPECT_EQ(t.progress.end_unanswered, naks ? 0 : 1);
  }
  // A receiver that goes quiet: the block goes ten more times, then CAN CAN.
  src.next = 0;
  transfer_send_begin(&t, kTransferXmodem, &s, nullptr, 0);
  const Bytes first = turn(&t, {kXmCrc}, 0);
  int resent = 0;
  for (uint32_t now = 10000; t.status == kTransferRunning; now += 10000) resent += turn(&t, {}, now) == first;
  EXPECT_EQ(resent, kXmRetries);
  EXPECT_EQ(t.failure, kTransferRetries);
  // A sender that goes quiet mid-file: the receiver NAKs ten times, then gives up.
  MemSink sink;
  TransferSink k = {&sink, sink_begin, sink_write, sink_end};
  transfer_receive_begin(&t, kTransferXmodem, &k, 0, 0);
  turn(&t, {}, 0);
  turn(&t, frame(128, 1, random_bytes(128, 1), 1), 10);
  int naks = 0;
  for (uint32_t now = 10010; t.status == kTransferRunning; now += 10000) naks += turn(&t, {}, now) == Bytes{kXmNak};
  EXPECT_EQ(naks, kXmRetries);
  EXPECT_EQ(t.failure, kTransferRetries);
}

TEST(Transfer, YmodemReceiverRefusesNamesThatLeaveTheFolder) {
  for (const char* name : {"../up.bin", "dir/a.bin", "C:\\x.bin", "\\\\server\\x", "a:b", "CON", "nul.txt",
                           "what?", "dot.", ".."}) {
    SCOPED_TRACE(name);
    MemSink sink;
    TransferSink k = {&sink, sink_begin, sink_write, sink_end};
    Transfer t{};
    transfer_receive_begin(&t, kTransferYmodem, &k, 0, 0);
    EXPECT_EQ(turn(&t, {}, 0), Bytes{'C'});
    uint8_t block0[128];
    ASSERT_TRUE(transfer_header(block0, 128, name, static_cast<int>(std::strlen(name)), 10));
    EXPECT_EQ(turn(&t, frame(128, 0, Bytes(block0, block0 + 128), 1), 10), (Bytes{kXmCan, kXmCan}));
    EXPECT_EQ(t.failure, kTransferNameRefused);
    EXPECT_STREQ(t.progress.name, name);
    EXPECT_EQ(sink.begun, 0);
  }
  EXPECT_EQ(transfer_name_check("COM10.bin", 9), kNameOk);
  EXPECT_EQ(transfer_name_check("firmware v2.hex", 15), kNameOk);
}

TEST(Transfer, ANameYmodemCannotCarryFailsOnlyItsSend) {
  MemSource src;
  src.files = {{"long", random_bytes(200, 4)}};
  src.name_too_long = 1;
  TransferSource s = {&src, source_next, source_read};
  Transfer t{};
  int status = 0;
  transfer_send_begin(&t, kTransferYmodem, &s, nullptr, 0);
  EXPECT_EQ(turn(&t, {kXmCrc}, 10, &status), (Bytes{kXmCan, kXmCan}));
  EXPECT_EQ(t.failure, kTransferNameTooLong);
  // XMODEM sends no name: the file goes.
  src.next = 0;
  transfer_send_begin(&t, kTransferXmodem, &s, nullptr, 0);
  EXPECT_EQ(turn(&t, {kXmCrc}, 10, &status).size(), 133u);
  EXPECT_EQ(status, kTransferRunning);
}

TEST(Transfer, ReceivedNamesTakenAreNumbered) {
  const struct {
    const char16_t* name;
    int number;
    const char16_t* saved;
  } cases[] = {{u"same.bin", 1, u"same.bin"},     {u"same.bin", 2, u"same (2).bin"},
               {u"a.tar.gz", 3, u"a.tar (3).gz"}, {u".config", 2, u".config (2)"},
               {u"noext", 10, u"noext (10)"}};
  for (const auto& c : cases) {
    char16_t out[32];
    const int n = transfer_numbered_name(c.name, static_cast<int>(std::char_traits<char16_t>::length(c.name)),
                                         c.number, out, 32);
    EXPECT_EQ(std::u16string(out, static_cast<size_t>(n > 0 ? n : 0)), std::u16string(c.saved));
  }
  char16_t small[10];
  EXPECT_EQ(transfer_numbered_name(u"same.bin", 8, 2, small, 10), 0);
}

TEST(Transfer, YmodemHeaderReadsNameAndSize) {
  uint8_t block[128] = {};
  std::memcpy(block, "f.bin\0" "1234 13731250470 100644", 29);
  char name[kTransferNameMost];
  int length = 0;
  int64_t size = 0;
  ASSERT_EQ(transfer_header_read(block, 128, name, &length, &size), 0);
  EXPECT_EQ(std::string(name, static_cast<size_t>(length)), "f.bin");
  EXPECT_EQ(size, 1234);
  std::memcpy(block, "g\0\0", 3);
  ASSERT_EQ(transfer_header_read(block, 128, name, &length, &size), 0);
  EXPECT_EQ(size, -1);
  std::memcpy(block, "g\0" "12x", 5);
  EXPECT_EQ(transfer_header_read(block, 128, name, &length, &size), kTransferBadHeader);
  std::memset(block, 'a', 128);  // no NUL: no name's end
  EXPECT_EQ(transfer_header_read(block, 128, name, &length, &size), kTransferBadHeader);
}

TEST(Transfer, RawPacingPausesAfterBytesAndLines) {
  struct Case {
    const char* data;
    int more;
    RawPacing pacing;
    int n;
    uint32_t pause;
  };
  const Case cases[] = {
      {"abc\ndef", 0, {0, 0}, 7, 0},     {"abc\ndef", 0, {0, 50}, 4, 50},  {"abc\ndef", 0, {2, 50}, 1, 2},
      {"\ndef", 0, {2, 50}, 1, 52},      {"ab\r\ncd", 0, {0, 50}, 4, 50},  {"ab\rcd", 0, {0, 50}, 3, 50},
      {"ab\r", 1, {0, 50}, 2, 0},        {"ab\r", 0, {0, 50}, 3, 50},      {"\r", 1, {0, 50}, 0, 0},
      {"\r\n", 0, {3, 0}, 1, 3},         {"abcdef", 1, {0, 50}, 6, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.data);
    uint32_t pause = 99;
    const int n = raw_next_piece(reinterpret_cast<const uint8_t*>(c.data), static_cast<int>(std::strlen(c.data)),
                                 c.more, &c.pacing, 1024, &pause);
    EXPECT_EQ(n, c.n);
    EXPECT_EQ(pause, c.pause);
  }
}

TEST(Transfer, RawSendKeepsItsPacingAndRawReceiveEndsOnQuiet) {
  MemSource src;
  src.files = {{"r", Bytes{'a', 'b', '\r', '\n', 'c'}}};
  TransferSource s = {&src, source_next, source_read};
  Transfer t{};
  RawPacing pacing = {0, 100};
  transfer_send_begin(&t, kTransferRaw, &s, &pacing, 0);
  EXPECT_EQ(turn(&t, {}, 0), (Bytes{'a', 'b', '\r', '\n'}));
  EXPECT_TRUE(turn(&t, {}, 99).empty());
  EXPECT_EQ(turn(&t, {}, 100), Bytes{'c'});
  int status = 0;
  turn(&t, {}, 100, &status);
  EXPECT_EQ(status, kTransferDone);

  MemSink sink;
  TransferSink k = {&sink, sink_begin, sink_write, sink_end};
  transfer_receive_begin(&t, kTransferRaw, &k, 500, 0);
  turn(&t, {}, 499, &status);
  EXPECT_EQ(status, kTransferRunning);
  turn(&t, {1, 2, kXmCan, kXmCan}, 499);
  turn(&t, {3}, 900);
  turn(&t, {}, 1399, &status);
  EXPECT_EQ(status, kTransferRunning);
  turn(&t, {}, 1400, &status);
  EXPECT_EQ(status, kTransferDone);
  EXPECT_EQ(sink.files[0].data, (Bytes{1, 2, kXmCan, kXmCan, 3}));
  EXPECT_EQ(sink.whole, std::vector<int>{1});
  // Nothing at all within the quiet time from the start: failed, so a
  // macro's XRCV R jumps. A quiet time of 0 waits for the user's Cancel.
  for (uint32_t quiet : {500u, 0u}) {
    transfer_receive_begin(&t, kTransferRaw, &k, quiet, 0);
    turn(&t, {}, 500, &status);
    EXPECT_EQ(status, quiet ? kTransferFailed : kTransferRunning);
    EXPECT_EQ(t.failure, quiet ? kTransferNothingReceived : kTransferNoFailure);
  }
}

}  // namespace
