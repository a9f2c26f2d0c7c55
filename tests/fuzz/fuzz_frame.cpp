// Feeds arbitrary send format settings and input to frame assembly, typed
// characters to hex entry and cell texts, and arbitrary dialog texts to the
// send format dialog's read-back. Every buffer is allocated at its exact
// size so that AddressSanitizer sees any write past it; the frame's layout,
// length and refusal, the entry state and the dialog's settings are checked
// and any broken rule aborts.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "codec/checksum.h"
#include "codec/convert.h"
#include "codec/frame.h"

namespace {

// Latin-1 without best fit, or (ctx non-null) a double-byte code page's
// shape: units from 0x3000 up take two bytes.
int encode(void* ctx, const char16_t* units, int count, uint8_t* out, int cap) {
  int n = 0;
  for (int i = 0; i < count; i++) {
    char16_t u = units[i];
    int len = (ctx && u >= 0x3000) ? 2 : 1;
    if (n + len > cap) return 0;
    if (len == 2) {
      out[n++] = static_cast<uint8_t>(0x81 + (u >> 8) % 0x7E);
      out[n++] = static_cast<uint8_t>(0x40 + u % 0xBC);
    } else {
      out[n++] = u <= 0xFF ? static_cast<uint8_t>(u) : '?';
    }
  }
  return n;
}

void check(bool ok) {
  if (!ok) std::abort();
}

int32_t small_or_any(FuzzedDataProvider& in) {
  return in.ConsumeBool() ? in.ConsumeIntegralInRange<int32_t>(0, 3) : in.ConsumeIntegral<int32_t>();
}

void fuzz_frame(FuzzedDataProvider& in, const AnsiCodec* codec) {
  Settings s;
  std::memset(&s, 0, sizeof s);
  for (int32_t* on : {&s.rs_stchar_on, &s.rs_hdchar_on, &s.rs_spchar_on, &s.rs_scchar_on, &s.rs_stcheck_on,
                      &s.rs_hdcheck_on, &s.rs_incheck_on, &s.rs_spcheck_on, &s.rs_scchar_type, &s.hexasc_komoji})
    *on = in.ConsumeIntegralInRange<int32_t>(-1, 2);
  s.rs_scchar_mode = small_or_any(in);
  s.rs_endchar_on = small_or_any(in);
  s.rs_stchar = in.ConsumeIntegral<uint8_t>();
  s.rs_spchar = in.ConsumeIntegral<uint8_t>();
  s.rs_endchar = in.ConsumeIntegral<uint8_t>();
  // The header text may lack its terminator: it is read to 30 units at most.
  int header_len = in.ConsumeIntegralInRange<int>(0, 31);
  for (int i = 0; i < header_len; i++)
    s.rs_hdchar[i] = in.ConsumeBool() ? u"0123456789ABCDEF"[in.ConsumeIntegralInRange<int>(0, 15)]
                                      : in.ConsumeIntegral<char16_t>();
  int frame = in.ConsumeBool();
  int32_t count = in.ConsumeIntegralInRange<int32_t>(-2, 300);
  std::unique_ptr<char16_t[]> units(new char16_t[count > 0 ? count : 1]);
  for (int32_t i = 0; i < count; i++) units[i] = in.ConsumeIntegral<char16_t>();

  std::unique_ptr<uint8_t[]> out(new uint8_t[kSendMax]);
  std::memset(out.get(), 0xA5, kSendMax);
  int32_t length = -1;
  int result = frame_assemble(&s, codec, units.get(), count, frame, out.get(), &length);
  int64_t need = frame_length(&s, count, frame);
  check(need == length);
  if (result == kFrameTooLong) {
    check(length > kSendMax);
    for (int i = 0; i < kSendMax; i++) check(out[i] == 0xA5);
    return;
  }
  check(result == kFrameOk && length >= 0 && length <= kSendMax);
  int n = count > 0 ? count : 0;
  uint8_t input[kSendMax];
  check(convert_chars_to_bytes(codec, units.get(), n, input, kSendMax) == n);
  if (!frame) {
    check(length == n && std::memcmp(out.get(), input, n) == 0);
    return;
  }
  // Walk the frame element by element.
  int at = 0;
  if (s.rs_stchar_on) check(out[at++] == s.rs_stchar);
  uint8_t header[kHeaderBytes];
  int header_n = 0;
  if (s.rs_hdchar_on) {
    int text_len = 0;
    while (text_len < kHeaderTextUnits && s.rs_hdchar[text_len]) text_len++;
    header_n = convert_hex_pairs(codec, s.rs_hdchar, text_len, header);
    check(header_n == text_len / 2 && std::memcmp(out.get() + at, header, header_n) == 0);
    at += header_n;
  }
  check(std::memcmp(out.get() + at, input, n) == 0);
  at += n;
  if (s.rs_spchar_on) check(out[at++] == s.rs_spchar);
  if (s.rs_scchar_on) {
    uint8_t range[kSendMax];
    int r = 0;
    if (s.rs_stchar_on && s.rs_stcheck_on) range[r++] = s.rs_stchar;
    if (s.rs_hdchar_on && s.rs_hdcheck_on) {
      std::memcpy(range + r, header, header_n);
      r += header_n;
    }
    if (s.rs_incheck_on) {
      std::memcpy(range + r, input, n);
      r += n;
    }
    if (s.rs_spchar_on && s.rs_spcheck_on) range[r++] = s.rs_spchar;
    uint8_t sum[kChecksumResultMax];
    int k = checksum_compute(range, r, s.rs_scchar_mode, s.rs_scchar_type, s.hexasc_komoji, sum);
    check(k == checksum_length(s.rs_scchar_mode, s.rs_scchar_type));
    check(std::memcmp(out.get() + at, sum, k) == 0);
    at += k;
  }
  if (s.rs_endchar_on == kTermByte) check(out[at++] == s.rs_endchar);
  if (s.rs_endchar_on == kTermCrLf) {
    check(out[at] == 0x0D && out[at + 1] == 0x0A);
    at += 2;
  }
  check(at == length);
}

void fuzz_entry(FuzzedDataProvider& in, const AnsiCodec* codec) {
  std::unique_ptr<char16_t[]> units(new char16_t[kInputUnits]);
  int32_t count = in.ConsumeIntegralInRange<int32_t>(0, kInputUnits);
  for (int32_t i = 0; i < count; i++) units[i] = in.ConsumeIntegral<char16_t>();
  HexEntry e = {in.ConsumeIntegral<int32_t>(), in.ConsumeIntegral<char16_t>()};
  while (in.remaining_bytes() > 0) {
    int op = in.ConsumeIntegralInRange<int>(0, 9);
    if (op == 0) {
      hex_entry_set_mode(&e, in.ConsumeBool());
      check(e.pending == 0);
      continue;
    }
    int32_t before = count, state = e.state;
    int added = hex_entry_type(&e, in.ConsumeIntegral<char16_t>(), units.get(), &count);
    check(count == before + added && count <= kInputUnits);
    check(e.state == kEntryAsc || e.state == kEntryHexFirst || e.state == kEntryHexSecond);
    if (state == kEntryHexFirst) check(added == 0 && e.state == kEntryHexSecond);
    if (state == kEntryHexSecond) check(e.state == kEntryHexFirst && (!added || units[count - 1] <= 0xFF));
    if (before == kInputUnits) check(added == 0);
  }
  std::unique_ptr<CellTexts> t(new CellTexts);
  cell_texts(codec, units.get(), count, t.get());
  check(t->hex_len == 2 * count && t->hex[t->hex_len] == 0);
  check(t->display_len >= count && t->display_len <= 2 * count && t->display[t->display_len] == 0);
}

void fuzz_dialog(FuzzedDataProvider& in) {
  Settings s;
  std::memset(&s, 0, sizeof s);
  settings_defaults(&s);
  SendFormatForm f;
  send_format_form_fill(&s, &f);
  // Whatever the controls hold, no terminator guaranteed.
  for (int32_t* v : {&f.start_on, &f.header_on, &f.end_on, &f.checksum_on, &f.terminator_on, &f.start_in_range,
                     &f.header_in_range, &f.end_in_range, &f.hex_form})
    *v = in.ConsumeIntegral<int32_t>();
  for (auto* text : {f.start, f.end, f.terminator})
    for (int i = 0; i < kFormByteTextUnits; i++) text[i] = in.ConsumeIntegralInRange<char16_t>(0, 0x80);
  for (char16_t& c : f.header) c = in.ConsumeIntegral<char16_t>();
  for (char16_t& c : f.kind) c = in.ConsumeIntegralInRange<char16_t>(0, 0x80);
  send_format_form_apply(&f, &s);
  check(s.rs_hdchar[kHeaderTextUnits] == 0);
  check(s.rs_endchar_on >= 0 && s.rs_endchar_on <= 3 && s.rs_scchar_mode >= 0 && s.rs_scchar_mode <= 3);
  check(s.rs_inchar_on == 1 && s.rs_incheck_on == 1);
  // What the dialog shows of these settings reads back to the same settings.
  Settings again;
  std::memcpy(&again, &s, sizeof s);
  send_format_form_fill(&again, &f);
  send_format_form_apply(&f, &again);
  check(std::memcmp(&s, &again, sizeof s) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  static int double_byte = 1;
  const AnsiCodec codec = {in.ConsumeBool() ? &double_byte : nullptr, encode};
  switch (in.ConsumeIntegralInRange<int>(0, 2)) {
    case 0: fuzz_frame(in, &codec); break;
    case 1: fuzz_entry(in, &codec); break;
    default: fuzz_dialog(in); break;
  }
  return 0;
}
