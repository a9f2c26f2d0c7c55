#include "net/telnet.h"

#include <cstdio>
#include <cstring>

namespace {

// Where the decoder is inside the byte stream.
enum TelnetParse : uint8_t {
  kParseData = 0,   // plain data
  kParseIac,        // after IAC
  kParseVerb,       // after IAC WILL/WONT/DO/DONT: the option comes next
  kParseSbOption,   // after IAC SB: the option comes next
  kParseSbData,     // inside a subnegotiation
  kParseSbIac,      // after IAC inside a subnegotiation
};

int slot_of(uint8_t option) {
  switch (option) {
    case kTelnetOptBinary: return kSlotBinary;
    case kTelnetOptSga: return kSlotSga;
    case kTelnetOptComPort: return kSlotComPort;
    default: return -1;
  }
}

const uint8_t kSlotOption[kTelnetSlots] = {kTelnetOptBinary, kTelnetOptSga, kTelnetOptComPort};

// The refusals the caller hears of: BINARY either way (data would no longer
// be 8-bit clean) and the server refusing the client's COM-PORT-OPTION (no
// line settings). SGA off only means go-ahead signals, which are ignored.
int refusal_matters(int slot, int side) {
  return slot == kSlotBinary || (slot == kSlotComPort && side == kSideUs);
}

void put_event(TelnetIo* io, uint8_t kind, uint8_t code, uint32_t value) {
  TelnetEvent* e = &io->events[io->event_n++];
  e->kind = kind;
  e->code = code;
  e->value = value;
}

void put_reply(TelnetIo* io, uint8_t verb, uint8_t option) {
  io->reply[io->reply_n++] = kTelnetIac;
  io->reply[io->reply_n++] = verb;
  io->reply[io->reply_n++] = option;
}

// One WILL, WONT, DO or DONT from the server. Every answer follows a state
// change, so a server that repeats itself is answered once and two peers
// can never keep answering each other's answers.
void negotiate(TelnetSession* s, uint8_t verb, uint8_t option, TelnetIo* io) {
  const int side = (verb == kTelnetWill || verb == kTelnetWont) ? kSideHim : kSideUs;
  const int positive = verb == kTelnetWill || verb == kTelnetDo;
  const uint8_t yes = side == kSideHim ? kTelnetDo : kTelnetWill;
  const uint8_t no = side == kSideHim ? kTelnetDont : kTelnetWont;
  const int slot = slot_of(option);
  if (slot < 0) {
    // An option this client does not do stays off: each request for it is
    // refused (a fresh request after a refusal too), its WONT/DONT needs
    // no answer. One answer per request: never a storm.
    if (positive) put_reply(io, no, option);
    return;
  }
  uint8_t* q = &s->q[side][slot];
  if (positive) {
    if (*q == kQYes) return;
    if (*q == kQNo) put_reply(io, yes, option);  // the server asks: agreed (WANTYES was our own ask)
    *q = kQYes;
    put_event(io, kTelnetAgreed, option, static_cast<uint32_t>(side));
    return;
  }
  if (*q == kQNo) return;
  if (*q == kQYes) put_reply(io, no, option);  // it turns the option off: acknowledged
  *q = kQNo;
  const uint8_t told = static_cast<uint8_t>(1u << (2 * slot + side));
  if (refusal_matters(slot, side) && !(s->refusal_told & told)) {
    s->refusal_told |= told;
    put_event(io, kTelnetRefused, option, static_cast<uint32_t>(side));
  }
}

// Whether a request with `asked` only asked for the current value.
int is_question(uint8_t command, uint32_t asked) {
  if (command >= kRfcSetBaud && command <= kRfcSetStopSize) return asked == 0;
  if (command == kRfcSetControl)
    return asked == kRfcFlowAsk || asked == kRfcBreakAsk || asked == kRfcDtrAsk || asked == kRfcRtsAsk ||
           asked == kRfcFlowInAsk;
  return 0;
}

void record_answer(TelnetSession* s, uint8_t command, uint32_t value) {
  const int setting = rfc2217_setting_of(command, value);
  if (setting < 0) return;
  Rfc2217Record* r = &s->setting[setting];
  r->answered = value;
  if (r->status == kRfcNotAsked || r->status == kRfcReported)
    r->status = kRfcReported;
  else
    r->status = (is_question(command, r->asked) || r->asked == value) ? kRfcConfirmed : kRfcDiffers;
}

// A COM-PORT-OPTION subnegotiation from the server: s->sub holds the
// command code and its value.
void comport_answer(TelnetSession* s, TelnetIo* io) {
  // Answers under an option the server refused (or never agreed to) are
  // not the server's word on anything.
  if (s->q[kSideUs][kSlotComPort] != kQYes) {
    put_event(io, kTelnetDropped, kTelnetOptComPort, kDropOption);
    return;
  }
  if (s->sub_n == 1 && s->sub[0] == kRfcServerBase + kRfcSignature) {
    // An empty signature is the server asking for this client's: answered,
    // and the server's own kept.
    static const uint8_t kName[] = {'Q', 'u', 'o', 'r', 'r', 'i', 'n'};
    io->reply_n += rfc2217_encode(kRfcSignature, kName, sizeof kName, io->reply + io->reply_n,
                                  io->reply_size - io->reply_n);
    return;
  }
  if (s->sub_n < 1 || s->sub[0] < kRfcServerBase || s->sub[0] > kRfcServerBase + kRfcPurgeData) {
    put_event(io, kTelnetDropped, kTelnetOptComPort, kDropMalformed);
    return;
  }
  const uint8_t command = static_cast<uint8_t>(s->sub[0] - kRfcServerBase);
  const uint8_t* v = s->sub + 1;
  const int v_n = s->sub_n - 1;
  int width = 1;
  if (command == kRfcSignature) width = v_n;
  else if (command == kRfcSetBaud) width = 4;
  else if (command == kRfcFlowSuspend || command == kRfcFlowResume) width = 0;
  if (v_n != width) {
    put_event(io, kTelnetDropped, kTelnetOptComPort, kDropMalformed);
    return;
  }
  uint32_t value = 0;
  switch (command) {
    case kRfcSignature:
      std::memcpy(s->signature, v, static_cast<size_t>(v_n));
      s->signature_n = v_n;
      value = static_cast<uint32_t>(v_n);
      break;
    case kRfcSetBaud:
      value = uint32_t{v[0]} << 24 | uint32_t{v[1]} << 16 | uint32_t{v[2]} << 8 | v[3];
      break;
    case kRfcFlowSuspend: s->flow_suspended = 1; break;
    case kRfcFlowResume: s->flow_suspended = 0; break;
    default: value = v[0]; break;
  }
  if (command == kRfcNotifyLineState) s->line_state = v[0];
  if (command == kRfcNotifyModemState) s->modem_state = v[0];
  record_answer(s, command, value);
  put_event(io, kRfcAnswer, command, value);
}

void sub_end(TelnetSession* s, TelnetIo* io) {
  if (s->sub_too_long)
    put_event(io, kTelnetDropped, s->sub_option, kDropTooLong);
  else if (s->sub_option != kTelnetOptComPort)
    put_event(io, kTelnetDropped, s->sub_option, kDropOption);
  else
    comport_answer(s, io);
}

void sub_keep(TelnetSession* s, uint8_t b) {
  s->sub_total++;
  if (s->sub_n < kTelnetSubMax)
    s->sub[s->sub_n++] = b;
  else
    s->sub_too_long = 1;
}

// The byte after IAC outside a subnegotiation.
void after_iac(TelnetSession* s, uint8_t b, TelnetIo* io) {
  s->parse = kParseData;
  if (b == kTelnetIac) {
    io->data[io->data_n++] = b;
  } else if (b >= kTelnetWill) {  // WILL, WONT, DO, DONT
    s->verb = b;
    s->parse = kParseVerb;
  } else if (b == kTelnetSb) {
    s->sub_n = 0;
    s->sub_total = 0;
    s->sub_too_long = 0;
    s->parse = kParseSbOption;
  }
  // NOP, GA, DM, AYT and the rest mean nothing to a serial line: consumed.
}

void step(TelnetSession* s, uint8_t b, TelnetIo* io) {
  switch (s->parse) {
    case kParseData:
      if (b == kTelnetIac) s->parse = kParseIac;
      else io->data[io->data_n++] = b;
      break;
    case kParseIac: after_iac(s, b, io); break;
    case kParseVerb:
      negotiate(s, s->verb, b, io);
      s->parse = kParseData;
      break;
    case kParseSbOption:
      // IAC right after SB has no option before it: kept as option 255,
      // which is never agreed, so the subnegotiation is dropped at its end.
      s->sub_option = b;
      s->parse = b == kTelnetIac ? kParseSbIac : kParseSbData;
      break;
    case kParseSbData:
      if (b == kTelnetIac) {
        s->parse = kParseSbIac;
      } else if (s->sub_total >= kTelnetSubLimit) {
        // No end in sight: the server lost track, or never meant one. Its
        // bytes are data again from here, and the caller says so.
        put_event(io, kTelnetDropped, s->sub_option, kDropUnterminated);
        s->parse = kParseData;
        io->data[io->data_n++] = b;
      } else {
        sub_keep(s, b);
      }
      break;
    case kParseSbIac:
      if (b == kTelnetIac && s->sub_total >= kTelnetSubLimit) {
        // A doubled 0xFF past the bound, as any other byte there: data
        // again from here, and the caller says so.
        put_event(io, kTelnetDropped, s->sub_option, kDropUnterminated);
        s->parse = kParseData;
        io->data[io->data_n++] = b;
      } else if (b == kTelnetIac) {
        sub_keep(s, b);
        s->parse = kParseSbData;
      } else if (b == kTelnetSe) {
        sub_end(s, io);
        s->parse = kParseData;
      } else {
        // A command inside a subnegotiation: the server broke it off. It
        // is dropped and the command taken as one, so the stream recovers.
        put_event(io, kTelnetDropped, s->sub_option, kDropBroken);
        after_iac(s, b, io);
      }
      break;
    default: s->parse = kParseData; break;
  }
}

int escaped_length(const uint8_t* in, int n) {
  int len = n;
  for (int i = 0; i < n; i++) len += in[i] == kTelnetIac;
  return len;
}

}  // namespace

void telnet_init(TelnetSession* s) { std::memset(s, 0, sizeof *s); }

int telnet_start(TelnetSession* s, uint8_t* out, int size) {
  if (size < kTelnetStartBytes) return -1;
  const uint8_t asks[5][2] = {{kTelnetWill, kSlotBinary}, {kTelnetDo, kSlotBinary}, {kTelnetWill, kSlotSga},
                              {kTelnetDo, kSlotSga}, {kTelnetWill, kSlotComPort}};
  int n = 0;
  for (const auto& a : asks) {
    const int side = a[0] == kTelnetWill ? kSideUs : kSideHim;
    if (s->q[side][a[1]] == kQNo) s->q[side][a[1]] = kQWantYes;
    out[n++] = kTelnetIac;
    out[n++] = a[0];
    out[n++] = kSlotOption[a[1]];
  }
  return n;
}

int telnet_decode(TelnetSession* s, const uint8_t* in, int n, TelnetIo* io) {
  int i = 0;
  for (; i < n; i++) {
    // Room for the most one byte can give: a data byte, a reply, an event.
    if (io->data_n >= io->data_size || io->reply_size - io->reply_n < kTelnetReplyRoom ||
        io->event_n >= io->event_size)
      break;
    step(s, in[i], io);
  }
  return i;
}

int telnet_escape(const uint8_t* in, int n, uint8_t* out, int out_size, int* consumed) {
  int i = 0, o = 0;
  for (; i < n; i++) {
    const int need = in[i] == kTelnetIac ? 2 : 1;
    if (out_size - o < need) break;
    out[o++] = in[i];
    if (need == 2) out[o++] = kTelnetIac;
  }
  *consumed = i;
  return o;
}

int rfc2217_encode(uint8_t code, const uint8_t* value, int value_n, uint8_t* out, int out_size) {
  if (value_n < 0) return -1;
  const int len = 3 + escaped_length(&code, 1) + escaped_length(value, value_n) + 2;
  if (len > out_size) return -1;
  int n = 0;
  out[n++] = kTelnetIac;
  out[n++] = kTelnetSb;
  out[n++] = kTelnetOptComPort;
  int taken = 0;
  n += telnet_escape(&code, 1, out + n, out_size - n, &taken);
  n += telnet_escape(value, value_n, out + n, out_size - n, &taken);
  out[n++] = kTelnetIac;
  out[n++] = kTelnetSe;
  return n;
}

int rfc2217_encode_command(uint8_t command, uint32_t value, uint8_t* out, int out_size) {
  if (command == kRfcSignature || command > kRfcPurgeData) return -1;
  uint8_t v[4];
  int v_n = 1;
  if (command == kRfcSetBaud) {
    v[0] = static_cast<uint8_t>(value >> 24);
    v[1] = static_cast<uint8_t>(value >> 16);
    v[2] = static_cast<uint8_t>(value >> 8);
    v[3] = static_cast<uint8_t>(value);
    v_n = 4;
  } else if (command == kRfcFlowSuspend || command == kRfcFlowResume) {
    v_n = 0;
  } else {
    if (value > 255) return -1;
    v[0] = static_cast<uint8_t>(value);
  }
  return rfc2217_encode(command, v, v_n, out, out_size);
}

int rfc2217_setting_of(uint8_t command, uint32_t value) {
  switch (command) {
    case kRfcSetBaud: return kRfcBaud;
    case kRfcSetDataSize: return kRfcDataSize;
    case kRfcSetParity: return kRfcParity;
    case kRfcSetStopSize: return kRfcStopSize;
    case kRfcSetLineStateMask: return kRfcLineMask;
    case kRfcSetModemStateMask: return kRfcModemMask;
    case kRfcPurgeData: return kRfcPurge;
    case kRfcSetControl:
      if (value <= kRfcFlowHardware || value == kRfcFlowDcd || value == kRfcFlowDsr) return kRfcFlowOut;
      if (value <= kRfcBreakOff) return kRfcBreak;
      if (value <= kRfcDtrOff) return kRfcDtr;
      if (value <= kRfcRtsOff) return kRfcRts;
      if (value <= kRfcFlowInHardware || value == kRfcFlowInDtr) return kRfcFlowIn;
      return -1;
    default: return -1;
  }
}

int rfc2217_request(TelnetSession* s, uint8_t command, uint32_t value, uint8_t* out, int out_size) {
  const int n = rfc2217_encode_command(command, value, out, out_size);
  if (n < 0) return n;
  const int setting = rfc2217_setting_of(command, value);
  if (setting >= 0) {
    s->setting[setting].asked = value;
    s->setting[setting].status = kRfcWaiting;
  }
  return n;
}

int rfc2217_line_from_dcb(const LineDcb* dcb, Rfc2217Line* out) {
  int bad = 0;
  *out = {};
  if (dcb->baud_rate == 0) bad |= kLineBadBaud;
  else out->baud = dcb->baud_rate;
  if (dcb->byte_size < 5 || dcb->byte_size > 8) bad |= kLineBadDataSize;
  else out->data_size = dcb->byte_size;
  if (dcb->parity > 4) bad |= kLineBadParity;
  else out->parity = static_cast<uint8_t>(dcb->parity + 1);
  static const uint8_t kStop[3] = {1, 3, 2};
  if (dcb->stop_bits > 2) bad |= kLineBadStop;
  else out->stop_size = kStop[dcb->stop_bits];
  // The same reading of the flow bits as the settings' read-back: only RTS
  // handshaking or CTS output flow is hardware flow.
  if (line_rts_control(dcb) == kRtsControlHandshake || (dcb->flags & kDcbOutxCtsFlow))
    out->flow = kRfcFlowHardware;
  else if (dcb->flags & (kDcbOutX | kDcbInX))
    out->flow = kRfcFlowXonXoff;
  else
    out->flow = kRfcFlowNone;
  return bad;
}

int rfc2217_request_line(TelnetSession* s, const LineDcb* dcb, uint8_t* out, int out_size) {
  Rfc2217Line line;
  if (rfc2217_line_from_dcb(dcb, &line) != 0) return -2;
  const uint8_t commands[5] = {kRfcSetBaud, kRfcSetDataSize, kRfcSetParity, kRfcSetStopSize, kRfcSetControl};
  const uint32_t values[5] = {line.baud, line.data_size, line.parity, line.stop_size, line.flow};
  uint8_t all[kRfc2217LineBytes];
  int n = 0;
  for (int i = 0; i < 5; i++) n += rfc2217_encode_command(commands[i], values[i], all + n, kRfc2217LineBytes - n);
  if (n > out_size) return -1;
  std::memcpy(out, all, static_cast<size_t>(n));
  for (int i = 0; i < 5; i++) {
    Rfc2217Record* r = &s->setting[rfc2217_setting_of(commands[i], values[i])];
    r->asked = values[i];
    r->status = kRfcWaiting;
  }
  return n;
}

uint32_t rfc2217_settings_event(const TelnetSession* s, const TelnetEvent& e, uint32_t asked_baud) {
  if (e.kind != kRfcAnswer || e.code < kRfcSetBaud || e.code > kRfcSetStopSize) return 0;
  if (s->setting[rfc2217_setting_of(e.code, e.value)].status != kRfcDiffers) return 0;
  const Rfc2217Record& baud = s->setting[kRfcBaud];
  return baud.status == kRfcDiffers ? baud.answered : asked_baud;
}

int rfc2217_differences(const TelnetSession* s, char* out, int size) {
  static const struct {
    int setting;
    const char* name;
  } kNames[] = {{kRfcBaud, "Baud"}, {kRfcDataSize, "Data"}, {kRfcParity, "Parity"}, {kRfcStopSize, "Stop"},
                {kRfcFlowOut, "Flow"}, {kRfcDtr, "DTR"}, {kRfcRts, "RTS"}};
  int found = 0, at = 0;
  if (size > 0) out[0] = 0;
  for (const auto& k : kNames) {
    const Rfc2217Record& r = s->setting[k.setting];
    if (r.status != kRfcDiffers) continue;
    if (size - at > 1) {
      const int n = std::snprintf(out + at, static_cast<size_t>(size - at), "%s%s %u (asked %u)", found ? ", " : "",
                                  k.name, static_cast<unsigned>(r.answered), static_cast<unsigned>(r.asked));
      at = n < size - at ? at + n : size - 1;
    }
    found++;
  }
  return found;
}
