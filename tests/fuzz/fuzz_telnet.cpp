// Feeds arbitrary bytes from a server to the Telnet decoder in pieces of
// arbitrary size through buffers of arbitrary (small) size, emptied as the
// decoder asks. Each call must consume something, keep every count within
// its buffer and the subnegotiation within its store, and never give more
// data than it took; the whole must decode exactly as one call with ample
// buffers does. The data the client sends, escaped, must come back whole
// through a fresh decoder, and every encoded request must fit what it said.
// The link's send path: writes and requests go into the outgoing queue
// while a peer takes a random part of what is offered, often nothing for a
// while; whatever it took decodes as the accepted data, whole and in order,
// with every request whole, and each data write is collected exactly once,
// only after all of it left.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "net/link_queue.h"
#include "net/telnet.h"
#include "tests/fuzz/written_check.h"

namespace {

struct Out {
  std::vector<uint8_t> data, reply;
  std::vector<TelnetEvent> events;
};

void take(const TelnetIo& io, Out* out) {
  out->data.insert(out->data.end(), io.data, io.data + io.data_n);
  out->reply.insert(out->reply.end(), io.reply, io.reply + io.reply_n);
  out->events.insert(out->events.end(), io.events, io.events + io.event_n);
}

void check_session(const TelnetSession& s) {
  check(s.sub_n >= 0 && s.sub_n <= kTelnetSubMax);
  check(s.signature_n >= 0 && s.signature_n <= kTelnetSubMax);
  for (int side = 0; side < 2; side++)
    for (int slot = 0; slot < kTelnetSlots; slot++) check(s.q[side][slot] <= kQWantYes);
  for (const Rfc2217Record& r : s.setting) check(r.status <= kRfcReported);
}

bool same_state(const TelnetSession& a, const TelnetSession& b) {
  if (a.parse != b.parse || a.verb != b.verb || a.sub_n != b.sub_n || a.refusal_told != b.refusal_told ||
      a.line_state != b.line_state || a.modem_state != b.modem_state || a.flow_suspended != b.flow_suspended ||
      a.signature_n != b.signature_n || std::memcmp(a.signature, b.signature, sizeof a.signature) != 0 ||
      std::memcmp(a.q, b.q, sizeof a.q) != 0)
    return false;
  for (int i = 0; i < kRfc2217Settings; i++)
    if (a.setting[i].status != b.setting[i].status || a.setting[i].asked != b.setting[i].asked ||
        a.setting[i].answered != b.setting[i].answered)
      return false;
  return true;
}

// Drives the queue with ops taken from `ops`, then lets the peer take all.
void send_path(const std::vector<uint8_t>& ops) {
  static LinkQueue q;
  link_queue_init(&q);
  std::vector<uint8_t> accepted, wire, collected;
  size_t at = 0;
  auto next = [&]() -> uint8_t { return at < ops.size() ? ops[at++] : 0; };
  int hold = 0;
  int64_t now = 0;
  auto take = [&](int limit) {
    const uint8_t* p = nullptr;
    int n = link_queue_peek(&q, hold, &p);
    check(n >= 0 && n <= kLinkQueueBytes);
    if (n > limit) n = limit;
    wire.insert(wire.end(), p, p + n);
    link_queue_sent(&q, n, now);
    LinkItem item;
    uint8_t data[kLinkItemMax];
    while (link_queue_collect(&q, &item, data)) {
      check(item.data <= static_cast<uint32_t>(kLinkItemMax));
      if (item.kind == kLinkData) collected.insert(collected.end(), data, data + item.data);
    }
    // Collected data is exactly the part of what was accepted that left.
    check(collected.size() <= accepted.size() &&
          std::equal(collected.begin(), collected.end(), accepted.begin()));
  };
  while (at < ops.size()) {
    const uint8_t op = next();
    now += 1000;
    switch (op % 5) {
      case 0: {  // the user's write
        const int n = 1 + (next() | next() << 8) % kLinkItemMax;
        std::vector<uint8_t> bytes(static_cast<size_t>(n));
        for (auto& b : bytes) b = next();
        if (link_queue_put_data(&q, bytes.data(), n, 1, 1, now) == 0) accepted.insert(accepted.end(), bytes.begin(), bytes.end());
        break;
      }
      case 1: {  // a request of the link's own
        uint8_t req[32];
        const int len = rfc2217_encode_command(static_cast<uint8_t>(1 + next() % 12), next(), req, sizeof req);
        if (len > 0) link_queue_put_command(&q, req, len, now);
        break;
      }
      case 2: take(next() % 64 == 0 ? 0 : (next() | next() << 8)); break;  // the peer reads, or does not
      case 3: hold = next() & 1; break;  // flow suspended or resumed
      default: take(0); break;
    }
    check(q.put - q.kept <= static_cast<uint32_t>(kLinkQueueBytes) && q.sent - q.kept <= q.put - q.kept);
  }
  // The connection may end here, a write partly gone: what the capture
  // records (each whole write, then the part of the one cut) is exactly
  // the data the server has parsed so far.
  if (!ops.empty() && ops[0] % 3 == 0) {
    LinkItem part;
    uint8_t part_data[kLinkItemMax];
    std::vector<uint8_t> recorded = collected;
    if (link_queue_partial(&q, &part, part_data) && part.kind == kLinkData)
      recorded.insert(recorded.end(), part_data, part_data + part.data);
    TelnetSession cut;
    telnet_init(&cut);
    cut.q[kSideUs][kSlotComPort] = kQYes;
    std::vector<uint8_t> got(wire.size() + 1), replies(3 * wire.size() + kTelnetReplyRoom);
    std::vector<TelnetEvent> seen(wire.size() + 1);
    TelnetIo cut_io = {got.data(), static_cast<int32_t>(got.size()), 0, replies.data(), static_cast<int32_t>(replies.size()),
                       0, seen.data(), static_cast<int32_t>(seen.size()), 0};
    telnet_decode(&cut, wire.data(), static_cast<int>(wire.size()), &cut_io);
    check(recorded.size() == static_cast<size_t>(cut_io.data_n) && std::equal(recorded.begin(), recorded.end(), got.begin()));
    return;
  }
  hold = 0;
  while (link_queue_busy(&q)) take(kLinkQueueBytes);
  take(0);
  check(collected == accepted);
  // The server's view: data exactly what was accepted, every command whole.
  TelnetSession server;
  telnet_init(&server);
  server.q[kSideUs][kSlotComPort] = kQYes;
  std::vector<uint8_t> data(wire.size() + 1), reply(3 * wire.size() + kTelnetReplyRoom);
  std::vector<TelnetEvent> events(wire.size() + 1);
  TelnetIo io = {data.data(), static_cast<int32_t>(data.size()), 0, reply.data(), static_cast<int32_t>(reply.size()), 0,
                 events.data(), static_cast<int32_t>(events.size()), 0};
  check(telnet_decode(&server, wire.data(), static_cast<int>(wire.size()), &io) == static_cast<int>(wire.size()));
  check(io.data_n == static_cast<int>(accepted.size()) && std::equal(accepted.begin(), accepted.end(), data.begin()));
  for (int i = 0; i < io.event_n; i++) check(events[i].kind != kTelnetDropped || events[i].value == kDropMalformed);
  check(server.parse == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  FuzzedDataProvider in(bytes, size);
  const bool started = in.ConsumeBool();
  const int data_size = in.ConsumeIntegralInRange<int>(1, 64);
  const int reply_size = in.ConsumeIntegralInRange<int>(kTelnetReplyRoom, 64);
  const int event_size = in.ConsumeIntegralInRange<int>(1, 8);
  std::vector<int> pieces;
  for (int k = 0; k < 16; k++) pieces.push_back(in.ConsumeIntegralInRange<int>(1, 300));
  const std::vector<uint8_t> stream = in.ConsumeRemainingBytes<uint8_t>();
  const int n = static_cast<int>(stream.size());

  // One call with room for anything the stream can give.
  TelnetSession whole_s;
  telnet_init(&whole_s);
  uint8_t start[kTelnetStartBytes];
  if (started) check(telnet_start(&whole_s, start, sizeof start) == kTelnetStartBytes);
  std::vector<uint8_t> data(static_cast<size_t>(n) + 1), reply(3 * static_cast<size_t>(n) + kTelnetReplyRoom);
  std::vector<TelnetEvent> events(static_cast<size_t>(n) + 1);
  TelnetIo io = {data.data(), n + 1, 0, reply.data(), static_cast<int32_t>(reply.size()), 0, events.data(), n + 1, 0};
  check(telnet_decode(&whole_s, stream.data(), n, &io) == n);
  check(io.data_n <= n);
  Out whole;
  take(io, &whole);
  check_session(whole_s);

  // The same stream in pieces through small buffers, exactly as large as
  // the fuzzer chose (heap blocks, so AddressSanitizer sees any overrun).
  TelnetSession s;
  telnet_init(&s);
  if (started) telnet_start(&s, start, sizeof start);
  std::vector<uint8_t> small_data(static_cast<size_t>(data_size)), small_reply(static_cast<size_t>(reply_size));
  std::vector<TelnetEvent> small_events(static_cast<size_t>(event_size));
  Out split;
  int from = 0;
  for (size_t k = 0; from < n; k++) {
    const int to = from + pieces[k % pieces.size()] < n ? from + pieces[k % pieces.size()] : n;
    while (from < to) {
      TelnetIo small = {small_data.data(), data_size, 0, small_reply.data(), reply_size, 0,
                        small_events.data(), event_size, 0};
      const int used = telnet_decode(&s, stream.data() + from, to - from, &small);
      check(used > 0 && used <= to - from);
      check(small.data_n <= used && small.data_n <= data_size);
      check(small.reply_n <= reply_size && small.event_n <= event_size);
      from += used;
      take(small, &split);
      check_session(s);
    }
  }
  check(split.data == whole.data && split.reply == whole.reply && split.events.size() == whole.events.size());
  for (size_t i = 0; i < whole.events.size(); i++)
    check(split.events[i].kind == whole.events[i].kind && split.events[i].code == whole.events[i].code &&
          split.events[i].value == whole.events[i].value);
  check(same_state(s, whole_s));

  // The stream as data the client sends: escaped in pieces, decoded back.
  std::vector<uint8_t> wire;
  uint8_t out[8];
  for (int at = 0; at < n;) {
    int consumed = 0;
    const int w = telnet_escape(stream.data() + at, n - at, out, 2 + at % 7, &consumed);
    check(consumed > 0 && w >= consumed && w <= 2 * consumed && w <= 2 + at % 7);
    wire.insert(wire.end(), out, out + w);
    at += consumed;
  }
  TelnetSession back;
  telnet_init(&back);
  std::vector<uint8_t> back_data(wire.size() + 1);
  TelnetIo back_io = {back_data.data(), static_cast<int32_t>(back_data.size()), 0, reply.data(), kTelnetReplyRoom,
                      0, events.data(), 1, 0};
  check(telnet_decode(&back, wire.data(), static_cast<int>(wire.size()), &back_io) == static_cast<int>(wire.size()));
  check(back_io.data_n == n && (n == 0 || std::memcmp(back_data.data(), stream.data(), static_cast<size_t>(n)) == 0));
  check(back_io.reply_n == 0 && back_io.event_n == 0);

  // Requests made from the stream's bytes fit the room they were given.
  for (int at = 0; at + 6 <= n; at += 6) {
    const uint8_t command = stream[static_cast<size_t>(at)] % 14;
    uint32_t value;
    std::memcpy(&value, &stream[static_cast<size_t>(at) + 1], 4);
    if (stream[static_cast<size_t>(at) + 5] & 1) value &= 0xFF;
    const int room = stream[static_cast<size_t>(at) + 5] % 17;
    std::vector<uint8_t> req(static_cast<size_t>(room));
    const int len = rfc2217_request(&s, command, value, req.data(), room);
    check(len == -1 || (len >= 6 && len <= room));
  }
  send_path(stream);
  return 0;
}
