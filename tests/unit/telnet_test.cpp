#include "net/telnet.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
constexpr uint8_t IAC = kTelnetIac, SB = kTelnetSb, SE = kTelnetSe, WILL = kTelnetWill, WONT = kTelnetWont,
                  DO = kTelnetDo, DONT = kTelnetDont, CPO = kTelnetOptComPort;

struct Decoded {
  Bytes data, reply;
  std::vector<TelnetEvent> events;
};

// Feeds `in` in pieces ending at `cuts`, through buffers of the given
// sizes, emptying them whenever the decoder stops short.
void feed(TelnetSession* s, const Bytes& in, Decoded* d, int data_size = 256, int reply_size = 64,
          int event_size = 16, std::vector<size_t> cuts = {}) {
  cuts.push_back(in.size());
  size_t from = 0;
  for (size_t to : cuts) {
    while (from < to) {
      uint8_t data[256], reply[64];
      TelnetEvent events[16];
      TelnetIo io = {data, data_size, 0, reply, reply_size, 0, events, event_size, 0};
      int used = telnet_decode(s, in.data() + from, static_cast<int>(to - from), &io);
      ASSERT_GT(used, 0);
      from += static_cast<size_t>(used);
      d->data.insert(d->data.end(), data, data + io.data_n);
      d->reply.insert(d->reply.end(), reply, reply + io.reply_n);
      d->events.insert(d->events.end(), events, events + io.event_n);
    }
  }
}

// A session whose COM-PORT-OPTION the server has agreed to, as after
// telnet_start and the server's DO.
void comport_agreed(TelnetSession* s) {
  telnet_init(s);
  s->q[kSideUs][kSlotComPort] = kQYes;
}

Decoded decode(TelnetSession* s, const Bytes& in) {
  Decoded d;
  feed(s, in, &d);
  return d;
}

bool same(const Decoded& a, const Decoded& b) {
  if (a.data != b.data || a.reply != b.reply || a.events.size() != b.events.size()) return false;
  for (size_t i = 0; i < a.events.size(); i++)
    if (a.events[i].kind != b.events[i].kind || a.events[i].code != b.events[i].code ||
        a.events[i].value != b.events[i].value)
      return false;
  return true;
}

// A stream with every construct: data with 0xFF and CR NUL, commands,
// negotiations, a baud answer whose value holds 0xFF, an over-long and a
// broken subnegotiation, and data after each.
const Bytes kMixed = {
    'a', IAC, IAC, '\r', 0, IAC, 241 /*NOP*/, 'b', IAC, DO, 0, IAC, WILL, 3, IAC, WILL, 1 /*ECHO*/,
    IAC, SB, CPO, 101, 0, 0, IAC, IAC, IAC, IAC, IAC, SE, 'c', IAC, SB, CPO, 106, 0x10, IAC, SE,
    IAC, SB, 24, 1, IAC, SE, IAC, SB, CPO, 105, 8, IAC, DONT, 31, 'd', IAC, SB, CPO, 107, IAC, IAC, IAC, SE,
    IAC, 249 /*GA*/, '\r', '\n', IAC};

}  // namespace

TEST(TelnetDecode, DataPassesUnchangedAndEveryCommandIsConsumed) {
  const struct {
    Bytes in, data;
  } cases[] = {
      {{'A', IAC, IAC, 'B'}, {'A', 0xFF, 'B'}},
      {{'\r', 0, '\r', '\n', 0}, {'\r', 0, '\r', '\n', 0}},  // binary: line ends as sent
      {{IAC, 241, 'x', IAC, 249, IAC, 242, IAC, SE, 'y'}, {'x', 'y'}},  // NOP, GA, DM, stray SE
      {{IAC, SB, CPO, 106, 2, IAC, SE, 'z'}, {'z'}},
      {{IAC, SB, IAC, SE, 'q'}, {'q'}},  // no option at all
  };
  for (const auto& c : cases) {
    TelnetSession s;
    telnet_init(&s);
    EXPECT_EQ(decode(&s, c.in).data, c.data);
  }
}

TEST(TelnetDecode, AnySplitAndAnyBufferSizeDecodesAsTheWhole) {
  TelnetSession whole_s;
  comport_agreed(&whole_s);
  const Decoded whole = decode(&whole_s, kMixed);
  EXPECT_EQ(whole.data, (Bytes{'a', 0xFF, '\r', 0, 'b', 'c', 'd', '\r', '\n'}));
  EXPECT_EQ(whole.reply, (Bytes{IAC, WILL, 0, IAC, DO, 3, IAC, DONT, 1}));
  EXPECT_EQ(whole_s.setting[kRfcBaud].answered, 0xFFFFu);
  EXPECT_EQ(whole_s.modem_state, 0xFF);
  EXPECT_EQ(whole.events.size(), 7u);  // 2 agreed, 3 answers, 2 dropped
  for (size_t i = 0; i <= kMixed.size(); i++)
    for (size_t j = i; j <= kMixed.size(); j++) {
      TelnetSession s;
      comport_agreed(&s);
      Decoded d;
      feed(&s, kMixed, &d, 256, 64, 16, {i, j});
      ASSERT_TRUE(same(d, whole)) << i << " " << j;
      ASSERT_EQ(s.parse, whole_s.parse);
    }
  // The smallest buffers the decoder works with: one byte, one reply, one event.
  TelnetSession s;
  comport_agreed(&s);
  Decoded d;
  feed(&s, kMixed, &d, 1, kTelnetReplyRoom, 1);
  EXPECT_TRUE(same(d, whole));
}

TEST(TelnetDecode, OverLongOrBrokenSubnegotiationIsDroppedAndTheStreamGoesOn) {
  const struct {
    int payload;  // bytes after the option, the answer code included
    uint32_t reason;
  } cases[] = {{kTelnetSubMax, kDropMalformed}, {kTelnetSubMax + 1, kDropTooLong}, {1000, kDropTooLong}};
  for (const auto& c : cases) {
    TelnetSession s;
    comport_agreed(&s);
    Bytes in = {IAC, SB, CPO};
    in.insert(in.end(), static_cast<size_t>(c.payload), 106);
    in.insert(in.end(), {IAC, SE, 'k'});
    Decoded d = decode(&s, in);
    EXPECT_EQ(d.data, Bytes{'k'});
    ASSERT_EQ(d.events.size(), 1u);
    EXPECT_EQ(d.events[0].kind, kTelnetDropped);
    EXPECT_EQ(d.events[0].value, c.reason) << c.payload;
    EXPECT_LE(s.sub_n, kTelnetSubMax);
  }
  // A negotiation inside a subnegotiation ends it and is still answered.
  TelnetSession s;
  comport_agreed(&s);
  Decoded d = decode(&s, {IAC, SB, CPO, 101, 0, IAC, WILL, 1, 'm'});
  EXPECT_EQ(d.reply, (Bytes{IAC, DONT, 1}));
  EXPECT_EQ(d.data, Bytes{'m'});
  ASSERT_EQ(d.events.size(), 1u);
  EXPECT_EQ(d.events[0].value, uint32_t{kDropBroken});
}

TEST(TelnetNegotiation, ServersOffersAreAnsweredOnceAndRepeatsNever) {
  // ser2net and pyserial's server open with their own asks, in any order
  // with the answers to the client's: only what changes a state is answered.
  // Said again, an agreed option gets nothing; a refused one is refused
  // again (a fresh request after a refusal).
  const struct {
    Bytes server, reply, again;
  } cases[] = {
      // The answers to the client's asks, then an offer of ECHO.
      {{IAC, DO, 0, IAC, WILL, 0, IAC, DO, 3, IAC, WILL, 3, IAC, DO, CPO, IAC, WILL, 1}, {IAC, DONT, 1}, {IAC, DONT, 1}},
      // pyserial's server also offers COM-PORT-OPTION itself: accepted.
      {{IAC, WILL, 1, IAC, WILL, 3, IAC, DO, 0, IAC, DO, CPO, IAC, WILL, CPO}, {IAC, DONT, 1, IAC, DO, CPO},
       {IAC, DONT, 1}},
      // Options the client does not do, either way.
      {{IAC, DO, 24, IAC, WILL, 31, IAC, WONT, 5, IAC, DONT, 6}, {IAC, WONT, 24, IAC, DONT, 31},
       {IAC, WONT, 24, IAC, DONT, 31}},
  };
  for (const auto& c : cases) {
    TelnetSession s;
    telnet_init(&s);
    uint8_t start[kTelnetStartBytes];
    ASSERT_EQ(telnet_start(&s, start, kTelnetStartBytes - 1), -1);
    ASSERT_EQ(telnet_start(&s, start, sizeof start), kTelnetStartBytes);
    EXPECT_EQ(Bytes(start, start + sizeof start),
              (Bytes{IAC, WILL, 0, IAC, DO, 0, IAC, WILL, 3, IAC, DO, 3, IAC, WILL, CPO}));
    EXPECT_EQ(decode(&s, c.server).reply, c.reply);
    EXPECT_EQ(decode(&s, c.server).reply, c.again);
  }
  // A server that asks before the client did is agreed with.
  TelnetSession s;
  telnet_init(&s);
  EXPECT_EQ(decode(&s, {IAC, DO, 0, IAC, WILL, 0, IAC, DO, 0}).reply, (Bytes{IAC, WILL, 0, IAC, DO, 0}));
  EXPECT_TRUE(telnet_enabled(&s, kSlotBinary, kSideUs) && telnet_enabled(&s, kSlotBinary, kSideHim));
}

TEST(TelnetNegotiation, RefusalOfComPortOrBinaryIsReportedOnce) {
  TelnetSession s;
  telnet_init(&s);
  uint8_t start[kTelnetStartBytes];
  telnet_start(&s, start, sizeof start);
  Decoded d = decode(&s, {IAC, DONT, CPO, IAC, DONT, CPO, IAC, WONT, 0, IAC, WONT, 3});
  EXPECT_TRUE(d.reply.empty());  // refusals of our asks need no answer
  ASSERT_EQ(d.events.size(), 2u);  // SGA refused: not reported
  EXPECT_EQ(d.events[0].kind, kTelnetRefused);
  EXPECT_EQ(d.events[0].code, CPO);
  EXPECT_EQ(d.events[0].value, uint32_t{kSideUs});
  EXPECT_EQ(d.events[1].code, 0);
  EXPECT_EQ(d.events[1].value, uint32_t{kSideHim});
  // It changes its mind and back: agreed and acknowledged, not reported again.
  d = decode(&s, {IAC, DO, CPO, IAC, DONT, CPO});
  EXPECT_EQ(d.reply, (Bytes{IAC, WILL, CPO, IAC, WONT, CPO}));
  ASSERT_EQ(d.events.size(), 1u);
  EXPECT_EQ(d.events[0].kind, kTelnetAgreed);
  EXPECT_FALSE(telnet_enabled(&s, kSlotComPort, kSideUs));
}

TEST(Rfc2217Encode, EveryCommandWithItsValueAndFFDoubled) {
  const struct {
    uint8_t command;
    uint32_t value;
    Bytes body;  // between IAC SB 44 and IAC SE
  } cases[] = {
      {kRfcSetBaud, 9600, {1, 0, 0, 0x25, 0x80}},
      {kRfcSetBaud, 0x0000FFFF, {1, 0, 0, IAC, IAC, IAC, IAC}},
      {kRfcSetBaud, 0xFFFFFFFF, {1, IAC, IAC, IAC, IAC, IAC, IAC, IAC, IAC}},
      {kRfcSetBaud, 0, {1, 0, 0, 0, 0}},
      {kRfcSetDataSize, 7, {2, 7}},
      {kRfcSetParity, 3, {3, 3}},
      {kRfcSetStopSize, 2, {4, 2}},
      {kRfcSetControl, kRfcDtrOn, {5, 8}},
      {kRfcNotifyLineState, 0, {6, 0}},
      {kRfcNotifyModemState, 0, {7, 0}},
      {kRfcFlowSuspend, 0, {8}},
      {kRfcFlowResume, 0, {9}},
      {kRfcSetLineStateMask, 0xFF, {10, IAC, IAC}},
      {kRfcSetModemStateMask, 0xF0, {11, 0xF0}},
      {kRfcPurgeData, 3, {12, 3}},
  };
  for (const auto& c : cases) {
    Bytes want = {IAC, SB, CPO};
    want.insert(want.end(), c.body.begin(), c.body.end());
    want.insert(want.end(), {IAC, SE});
    uint8_t out[32];
    const int size = static_cast<int>(want.size());
    ASSERT_EQ(rfc2217_encode_command(c.command, c.value, out, sizeof out), size) << int{c.command};
    EXPECT_EQ(Bytes(out, out + size), want);
    EXPECT_EQ(rfc2217_encode_command(c.command, c.value, out, size - 1), -1);
  }
  uint8_t out[32];
  EXPECT_EQ(rfc2217_encode_command(kRfcSignature, 0, out, sizeof out), -1);
  EXPECT_EQ(rfc2217_encode_command(13, 0, out, sizeof out), -1);
  EXPECT_EQ(rfc2217_encode_command(kRfcSetDataSize, 256, out, sizeof out), -1);
  const uint8_t text[] = {'Q', 0xFF};
  ASSERT_EQ(rfc2217_encode(kRfcSignature, text, 2, out, sizeof out), 9);
  EXPECT_EQ(Bytes(out, out + 9), (Bytes{IAC, SB, CPO, 0, 'Q', IAC, IAC, IAC, SE}));
}

TEST(Rfc2217Decode, ServerAnswersAndWhatTheyConfirm) {
  const struct {
    uint8_t command;
    uint32_t asked;  // what the client asked first
    Bytes answer;    // the value bytes of the server's answer, as sent
    uint32_t value;
    int setting;
    uint8_t status;
  } cases[] = {
      {kRfcSetBaud, 115200, {0, 1, 0xC2, 0}, 115200, kRfcBaud, kRfcConfirmed},
      {kRfcSetBaud, 0xFFFF, {0, 0, IAC, IAC, IAC, IAC}, 0xFFFF, kRfcBaud, kRfcConfirmed},
      {kRfcSetBaud, 250000, {0, 0, 0x96, 0}, 38400, kRfcBaud, kRfcDiffers},
      {kRfcSetDataSize, 0, {8}, 8, kRfcDataSize, kRfcConfirmed},  // a question: any answer
      {kRfcSetParity, 3, {1}, 1, kRfcParity, kRfcDiffers},
      {kRfcSetStopSize, 3, {3}, 3, kRfcStopSize, kRfcConfirmed},
      {kRfcSetControl, kRfcFlowHardware, {3}, 3, kRfcFlowOut, kRfcConfirmed},
      {kRfcSetControl, kRfcDtrAsk, {kRfcDtrOff}, kRfcDtrOff, kRfcDtr, kRfcConfirmed},
      {kRfcSetControl, kRfcRtsOn, {kRfcRtsOff}, kRfcRtsOff, kRfcRts, kRfcDiffers},
      {kRfcSetControl, kRfcBreakOn, {kRfcBreakOn}, kRfcBreakOn, kRfcBreak, kRfcConfirmed},
      {kRfcSetControl, kRfcFlowInXonXoff, {kRfcFlowInXonXoff}, kRfcFlowInXonXoff, kRfcFlowIn, kRfcConfirmed},
      {kRfcSetLineStateMask, 0x1E, {0x1E}, 0x1E, kRfcLineMask, kRfcConfirmed},
      {kRfcSetModemStateMask, 0xFF, {IAC, IAC}, 0xFF, kRfcModemMask, kRfcConfirmed},
      {kRfcPurgeData, 3, {3}, 3, kRfcPurge, kRfcConfirmed},
  };
  for (const auto& c : cases) {
    TelnetSession s;
    comport_agreed(&s);
    uint8_t out[32];
    ASSERT_GT(rfc2217_request(&s, c.command, c.asked, out, sizeof out), 0);
    EXPECT_EQ(s.setting[c.setting].status, kRfcWaiting);
    Bytes in = {IAC, SB, CPO, static_cast<uint8_t>(100 + c.command)};
    in.insert(in.end(), c.answer.begin(), c.answer.end());
    in.insert(in.end(), {IAC, SE});
    Decoded d = decode(&s, in);
    ASSERT_EQ(d.events.size(), 1u);
    EXPECT_EQ(d.events[0].kind, kRfcAnswer);
    EXPECT_EQ(d.events[0].code, c.command);
    EXPECT_EQ(d.events[0].value, c.value);
    EXPECT_EQ(s.setting[c.setting].status, c.status) << int{c.command} << " " << c.asked;
    EXPECT_EQ(s.setting[c.setting].answered, c.value);
  }
  // Notifications, flow suspend and resume, the signature, and DTR that the
  // server never answers; an answer nobody asked for is only reported.
  TelnetSession s;
  comport_agreed(&s);
  uint8_t out[32];
  rfc2217_request(&s, kRfcSetControl, kRfcDtrOn, out, sizeof out);
  Decoded d = decode(&s, {IAC, SB, CPO, 106, 0x60, IAC, SE, IAC, SB, CPO, 107, 0xB0, IAC, SE, IAC, SB, CPO, 108, IAC,
                          SE, IAC, SB, CPO, 100, 's', 'e', 'r', IAC, SE, IAC, SB, CPO, 102, 8, IAC, SE});
  EXPECT_EQ(d.events.size(), 5u);
  EXPECT_EQ(s.line_state, 0x60);
  EXPECT_EQ(s.modem_state, 0xB0);
  EXPECT_EQ(s.flow_suspended, 1);
  EXPECT_EQ(std::string(s.signature, s.signature + s.signature_n), "ser");
  EXPECT_EQ(s.setting[kRfcDtr].status, kRfcWaiting);
  EXPECT_EQ(s.setting[kRfcDataSize].status, kRfcReported);
  decode(&s, {IAC, SB, CPO, 109, IAC, SE});
  EXPECT_EQ(s.flow_suspended, 0);
  // Wrong lengths and client codes from the server are malformed.
  for (const Bytes& bad : {Bytes{101, 0, 0, 0x25}, Bytes{102}, Bytes{108, 1}, Bytes{1, 0, 0, 0x25, 0x80}, Bytes{113, 1}}) {
    Bytes in = {IAC, SB, CPO};
    in.insert(in.end(), bad.begin(), bad.end());
    in.insert(in.end(), {IAC, SE});
    d = decode(&s, in);
    ASSERT_EQ(d.events.size(), 1u);
    EXPECT_EQ(d.events[0].value, uint32_t{kDropMalformed});
  }
}

TEST(TelnetEscape, FFIsDoubledAndAPairIsNeverSplit) {
  const struct {
    Bytes in;
    int out_size;
    Bytes out;
    int consumed;
  } cases[] = {
      {{'a', 0xFF, 'b'}, 16, {'a', 0xFF, 0xFF, 'b'}, 3},
      {{'a', 0xFF, 'b'}, 2, {'a'}, 1},
      {{'a', 0xFF, 'b'}, 3, {'a', 0xFF, 0xFF}, 2},
      {{0xFF, 0xFF}, 3, {0xFF, 0xFF}, 1},
      {{}, 4, {}, 0},
  };
  for (const auto& c : cases) {
    uint8_t out[16];
    int consumed = -1;
    int n = telnet_escape(c.in.data(), static_cast<int>(c.in.size()), out, c.out_size, &consumed);
    EXPECT_EQ(Bytes(out, out + n), c.out);
    EXPECT_EQ(consumed, c.consumed);
  }
  // Every byte value there and back through the decoder.
  Bytes all;
  for (int i = 0; i < 256; i++) all.push_back(static_cast<uint8_t>(255 - i));
  uint8_t wire[512];
  int consumed = 0;
  int n = telnet_escape(all.data(), 256, wire, sizeof wire, &consumed);
  EXPECT_EQ(n, 257);
  TelnetSession s;
  telnet_init(&s);
  EXPECT_EQ(decode(&s, Bytes(wire, wire + n)).data, all);
}

TEST(Rfc2217Line, DcbFieldsMapToOptionValues) {
  auto dcb = [](uint32_t baud, uint8_t size, uint8_t parity, uint8_t stop, uint32_t flags) {
    LineDcb d = {};
    d.baud_rate = baud;
    d.byte_size = size;
    d.parity = parity;
    d.stop_bits = stop;
    d.flags = flags;
    return d;
  };
  const uint32_t rts_handshake = uint32_t{kRtsControlHandshake} << kDcbRtsShift;
  const struct {
    LineDcb dcb;
    int bad;
    Rfc2217Line line;
  } cases[] = {
      {dcb(9600, 8, 0, 0, kDcbBinary), 0, {9600, 8, 1, 1, kRfcFlowNone}},
      {dcb(115200, 7, 1, 2, kDcbOutX | kDcbInX), 0, {115200, 7, 2, 2, kRfcFlowXonXoff}},
      {dcb(300, 5, 2, 1, kDcbOutxCtsFlow | rts_handshake), 0, {300, 5, 3, 3, kRfcFlowHardware}},
      {dcb(1200, 6, 3, 0, rts_handshake | kDcbOutX), 0, {1200, 6, 4, 1, kRfcFlowHardware}},
      {dcb(2400, 8, 4, 0, uint32_t{1} << kDcbRtsShift), 0, {2400, 8, 5, 1, kRfcFlowNone}},  // RTS held on
      {dcb(0, 9, 5, 3, 0), kLineBadBaud | kLineBadDataSize | kLineBadParity | kLineBadStop, {0, 0, 0, 0, 1}},
      {dcb(9600, 4, 0, 0, 0), kLineBadDataSize, {9600, 0, 1, 1, 1}},
  };
  for (const auto& c : cases) {
    Rfc2217Line line;
    EXPECT_EQ(rfc2217_line_from_dcb(&c.dcb, &line), c.bad);
    EXPECT_EQ(line.baud, c.line.baud);
    EXPECT_EQ(Bytes({line.data_size, line.parity, line.stop_size, line.flow}),
              Bytes({c.line.data_size, c.line.parity, c.line.stop_size, c.line.flow}));
  }
  TelnetSession s;
  telnet_init(&s);
  uint8_t out[kRfc2217LineBytes];
  const LineDcb worst = dcb(0xFFFFFFFF, 8, 2, 1, kDcbOutX);
  EXPECT_EQ(rfc2217_request_line(&s, &worst, out, kRfc2217LineBytes - 1), -1);
  EXPECT_EQ(s.setting[kRfcBaud].status, kRfcNotAsked);
  const LineDcb bad = dcb(9600, 9, 0, 0, 0);
  EXPECT_EQ(rfc2217_request_line(&s, &bad, out, sizeof out), -2);
  ASSERT_EQ(rfc2217_request_line(&s, &worst, out, sizeof out), kRfc2217LineBytes);
  const Bytes tail = {IAC, SB, CPO, 2, 8, IAC, SE, IAC, SB, CPO, 3, 3, IAC, SE,
                      IAC, SB, CPO, 4, 3, IAC, SE, IAC, SB, CPO, 5, 2, IAC, SE};
  EXPECT_EQ(Bytes(out + 14, out + kRfc2217LineBytes), tail);
  for (int setting : {kRfcBaud, kRfcDataSize, kRfcParity, kRfcStopSize, kRfcFlowOut})
    EXPECT_EQ(s.setting[setting].status, kRfcWaiting);
  EXPECT_EQ(s.setting[kRfcStopSize].asked, 3u);
}

TEST(TelnetNegotiation, AFreshRequestAfterARefusalIsAnsweredAgain) {
  // Each request for an option this client does not do is refused, the
  // same request after the refusal too: one answer per request.
  TelnetSession s;
  telnet_init(&s);
  const Bytes ask = {IAC, WILL, 1, IAC, DO, 24};
  EXPECT_EQ(decode(&s, ask).reply, (Bytes{IAC, DONT, 1, IAC, WONT, 24}));
  EXPECT_EQ(decode(&s, ask).reply, (Bytes{IAC, DONT, 1, IAC, WONT, 24}));
  // A storm of offers and withdrawals gets no more answers than requests.
  Bytes storm;
  for (int k = 0; k < 100; k++) storm.insert(storm.end(), {IAC, DO, CPO, IAC, DONT, CPO});
  EXPECT_EQ(decode(&s, storm).reply.size(), storm.size());
}

TEST(Rfc2217Decode, AnswersUnderARefusedOptionAreNotTaken) {
  TelnetSession s;
  telnet_init(&s);
  uint8_t start[kTelnetStartBytes];
  telnet_start(&s, start, sizeof start);
  uint8_t out[32];
  rfc2217_request(&s, kRfcSetBaud, 9600, out, sizeof out);
  Decoded d = decode(&s, {IAC, DONT, CPO, IAC, SB, CPO, 101, 0, 0, 0x96, 0, IAC, SE, IAC, SB, CPO, 108, IAC, SE});
  EXPECT_EQ(s.setting[kRfcBaud].status, kRfcWaiting);
  EXPECT_EQ(s.flow_suspended, 0);
  ASSERT_EQ(d.events.size(), 3u);  // the refusal, two dropped
  EXPECT_EQ(d.events[1].value, uint32_t{kDropOption});
}

TEST(Rfc2217Decode, AnEmptySignatureAsksForOursAndKeepsTheServers) {
  TelnetSession s;
  comport_agreed(&s);
  decode(&s, {IAC, SB, CPO, 100, 's', 'e', 'r', IAC, SE});
  Decoded d = decode(&s, {IAC, SB, CPO, 100, IAC, SE});
  EXPECT_EQ(std::string(s.signature, s.signature + s.signature_n), "ser");
  EXPECT_EQ(d.reply, (Bytes{IAC, SB, CPO, 0, 'Q', 'u', 'o', 'r', 'r', 'i', 'n', IAC, SE}));
  // The smallest reply buffer the decoder takes still holds it.
  Decoded small;
  feed(&s, {IAC, SB, CPO, 100, IAC, SE}, &small, 1, kTelnetReplyRoom, 1);
  EXPECT_EQ(small.reply, d.reply);
}

TEST(TelnetDecode, AnUnterminatedSubnegotiationGivesBackTheDataAfterItsLimit) {
  TelnetSession s;
  comport_agreed(&s);
  Bytes in = {IAC, SB, 24};
  in.insert(in.end(), static_cast<size_t>(kTelnetSubLimit), 'x');
  in.insert(in.end(), {'O', 'K', IAC, IAC});
  Decoded d = decode(&s, in);
  EXPECT_EQ(d.data, (Bytes{'O', 'K', 0xFF}));
  ASSERT_EQ(d.events.size(), 1u);
  EXPECT_EQ(d.events[0].kind, kTelnetDropped);
  EXPECT_EQ(d.events[0].value, uint32_t{kDropUnterminated});
}

TEST(Rfc2217Decode, WhatTheServerSetOtherwiseIsToldWithWhatWasAsked) {
  TelnetSession s;
  comport_agreed(&s);
  uint8_t out[64];
  char text[80];
  EXPECT_EQ(rfc2217_differences(&s, text, sizeof text), 0);
  EXPECT_STREQ(text, "");
  rfc2217_request(&s, kRfcSetBaud, 250000, out, sizeof out);
  rfc2217_request(&s, kRfcSetParity, 3, out, sizeof out);
  rfc2217_request(&s, kRfcSetDataSize, 8, out, sizeof out);
  decode(&s, {IAC, SB, CPO, 101, 0, 0, 0x96, 0, IAC, SE, IAC, SB, CPO, 103, 1, IAC, SE, IAC, SB, CPO, 102, 8, IAC, SE});
  EXPECT_EQ(rfc2217_differences(&s, text, sizeof text), 2);
  EXPECT_STREQ(text, "Baud 38400 (asked 250000), Parity 1 (asked 3)");
  // A short buffer is ended within itself.
  EXPECT_EQ(rfc2217_differences(&s, text, 12), 2);
  EXPECT_STREQ(text, "Baud 38400 ");
}

TEST(Rfc2217Decode, EveryLineSettingSetOtherwiseIsASettingsEventWithTheSpeedInEffect) {
  TelnetSession s;
  comport_agreed(&s);
  uint8_t out[64];
  rfc2217_request(&s, kRfcSetBaud, 9600, out, sizeof out);
  rfc2217_request(&s, kRfcSetParity, 3, out, sizeof out);
  // The speed as asked, the parity otherwise: an event, at the speed asked.
  Decoded d = decode(&s, {IAC, SB, CPO, 101, 0, 0, 0x25, 0x80, IAC, SE, IAC, SB, CPO, 103, 1, IAC, SE});
  ASSERT_EQ(d.events.size(), 2u);
  EXPECT_EQ(rfc2217_settings_event(&s, d.events[0], 9600), 0u);
  EXPECT_EQ(rfc2217_settings_event(&s, d.events[1], 9600), 9600u);
  // Then the speed otherwise too: the server's.
  rfc2217_request(&s, kRfcSetBaud, 250000, out, sizeof out);
  d = decode(&s, {IAC, SB, CPO, 101, 0, 0, 0x96, 0, IAC, SE});
  EXPECT_EQ(rfc2217_settings_event(&s, d.events[0], 250000), 38400u);
}

TEST(TelnetDecode, AnUnterminatedSubnegotiationOfDoubledFFIsBoundedToo) {
  // A device that sends 0xFF (an erased flash, an idle line read as ones)
  // after a server began a subnegotiation: its doubled bytes are never a
  // plain byte, yet past the bound they are data again and the user told.
  TelnetSession s;
  comport_agreed(&s);
  Bytes in = {IAC, SB, 24};
  for (int k = 0; k < 3 * kTelnetSubLimit; k++) in.insert(in.end(), {IAC, IAC});
  Decoded d = decode(&s, in);
  ASSERT_EQ(d.events.size(), 1u);
  EXPECT_EQ(d.events[0].value, uint32_t{kDropUnterminated});
  EXPECT_GE(d.data.size(), static_cast<size_t>(2 * kTelnetSubLimit));
  // And what follows comes out as sent, 0xFF included.
  d = decode(&s, {IAC, IAC, 'O', 'K'});
  EXPECT_EQ(d.data, (Bytes{0xFF, 'O', 'K'}));
}
