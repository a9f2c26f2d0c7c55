#include "codec/frame.h"

#include "codec/checksum.h"

namespace {

// Length of a text kept in a fixed array that may lack its terminator.
int bounded_len(const char16_t* text, int cap) {
  int n = 0;
  while (n < cap && text[n]) n++;
  return n;
}

int header_text_len(const Settings* s) { return bounded_len(s->rs_hdchar, kHeaderTextUnits); }

int terminator_length(int32_t mode) {
  if (mode == kTermByte) return 1;
  if (mode == kTermCrLf) return 2;
  return 0;
}

void byte_text(uint8_t b, int32_t lower_hex, char16_t out[3]) {
  const char* digits = lower_hex == 1 ? "0123456789abcdef" : "0123456789ABCDEF";
  out[0] = static_cast<char16_t>(digits[b >> 4]);
  out[1] = static_cast<char16_t>(digits[b & 15]);
  out[2] = 0;
}

void copy_text(char16_t* dst, int cap, const char16_t* src, int src_cap) {
  int n = bounded_len(src, src_cap);
  if (n > cap - 1) n = cap - 1;
  for (int i = 0; i < n; i++) dst[i] = src[i];
  for (int i = n; i < cap; i++) dst[i] = 0;
}

void ascii_text(char16_t* dst, const char* src) {
  int i = 0;
  for (; src[i]; i++) dst[i] = static_cast<char16_t>(src[i]);
  dst[i] = 0;
}

uint8_t read_byte_field(const char16_t* text) {
  return static_cast<uint8_t>(convert_hex_value(text, kFormByteTextUnits - 1) & 0xFF);
}

bool begins_with(const char16_t* text, int len, const char16_t* prefix) {
  for (int i = 0; prefix[i]; i++)
    if (i >= len || text[i] != prefix[i]) return false;
  return true;
}

}  // namespace

int64_t frame_length(const Settings* s, int32_t count, int frame) {
  int64_t n = count > 0 ? count : 0;
  if (!frame) return n;
  if (s->rs_stchar_on) n += 1;
  if (s->rs_hdchar_on) n += header_text_len(s) / 2;
  if (s->rs_spchar_on) n += 1;
  if (s->rs_scchar_on) n += checksum_length(s->rs_scchar_mode, s->rs_scchar_type);
  return n + terminator_length(s->rs_endchar_on);
}

int frame_assemble(const Settings* s, const AnsiCodec* codec, const char16_t* units, int32_t count, int frame,
                   uint8_t out[kSendMax], int32_t* length) {
  if (count < 0) count = 0;
  int64_t need = frame_length(s, count, frame);
  if (need > kSendMax) {
    *length = need > INT32_MAX ? INT32_MAX : static_cast<int32_t>(need);
    return kFrameTooLong;
  }
  if (!frame) {
    *length = convert_chars_to_bytes(codec, units, count, out, kSendMax);
    return kFrameOk;
  }

  // The elements are laid down in frame order; the checksum range is then
  // gathered from them, so a range of non-adjacent elements is joined with
  // whatever lies between them left out.
  int n = 0;
  int start_at = -1, header_at = -1, input_at, end_at = -1;
  int header_n = 0;
  if (s->rs_stchar_on) {
    start_at = n;
    out[n++] = s->rs_stchar;
  }
  if (s->rs_hdchar_on) {
    header_at = n;
    header_n = convert_hex_pairs(codec, s->rs_hdchar, header_text_len(s), out + n);
    n += header_n;
  }
  input_at = n;
  n += convert_chars_to_bytes(codec, units, count, out + n, kSendMax - n);
  if (s->rs_spchar_on) {
    end_at = n;
    out[n++] = s->rs_spchar;
  }
  if (s->rs_scchar_on) {
    uint8_t range[kSendMax];
    int r = 0;
    auto take = [&](int at, int len) {
      for (int i = 0; i < len; i++) range[r++] = out[at + i];
    };
    if (start_at >= 0 && s->rs_stcheck_on) take(start_at, 1);
    if (header_at >= 0 && s->rs_hdcheck_on) take(header_at, header_n);
    if (s->rs_incheck_on) take(input_at, count);
    if (end_at >= 0 && s->rs_spcheck_on) take(end_at, 1);
    n += checksum_compute(range, r, s->rs_scchar_mode, s->rs_scchar_type, s->hexasc_komoji, out + n);
  }
  if (s->rs_endchar_on == kTermByte) {
    out[n++] = s->rs_endchar;
  } else if (s->rs_endchar_on == kTermCrLf) {
    out[n++] = 0x0D;
    out[n++] = 0x0A;
  }
  *length = n;
  return kFrameOk;
}

void send_format_form_fill(Settings* s, SendFormatForm* f) {
  s->rs_inchar_on = 1;
  s->rs_incheck_on = 1;
  f->start_on = s->rs_stchar_on != 0;
  f->header_on = s->rs_hdchar_on != 0;
  f->end_on = s->rs_spchar_on != 0;
  f->checksum_on = s->rs_scchar_on != 0;
  f->terminator_on = s->rs_endchar_on == kTermByte || s->rs_endchar_on == kTermCrLf;
  f->start_in_range = s->rs_stcheck_on != 0;
  f->header_in_range = s->rs_hdcheck_on != 0;
  f->end_in_range = s->rs_spcheck_on != 0;
  f->hex_form = s->rs_scchar_type != kChecksumAsc;
  byte_text(s->rs_stchar, s->hexasc_komoji, f->start);
  copy_text(f->header, kHeaderTextUnits + 1, s->rs_hdchar, kHeaderTextUnits);
  byte_text(s->rs_spchar, s->hexasc_komoji, f->end);
  if (s->rs_endchar_on == kTermOffCrLf || s->rs_endchar_on == kTermCrLf)
    ascii_text(f->terminator, s->hexasc_komoji == 1 ? "0d0a" : "0D0A");
  else
    byte_text(s->rs_endchar, s->hexasc_komoji, f->terminator);
  copy_text(f->kind, 16, checksum_kind_name(s->rs_scchar_mode), 16);
}

void send_format_form_apply(const SendFormatForm* f, Settings* s) {
  s->rs_stchar_on = f->start_on ? 1 : 0;
  s->rs_hdchar_on = f->header_on ? 1 : 0;
  s->rs_inchar_on = 1;
  s->rs_spchar_on = f->end_on ? 1 : 0;
  s->rs_scchar_on = f->checksum_on ? 1 : 0;
  s->rs_stcheck_on = f->start_in_range ? 1 : 0;
  s->rs_hdcheck_on = f->header_in_range ? 1 : 0;
  s->rs_incheck_on = 1;
  s->rs_spcheck_on = f->end_in_range ? 1 : 0;
  s->rs_scchar_type = f->hex_form ? kChecksumHex : kChecksumAsc;
  s->rs_stchar = read_byte_field(f->start);
  copy_text(s->rs_hdchar, kHeaderTextUnits + 1, f->header, kHeaderTextUnits);
  s->rs_spchar = read_byte_field(f->end);

  // The terminator box decides on or off; the text decides between one byte
  // and CR LF, and only the two exact spellings of CR LF count as such.
  s->rs_endchar_on = f->terminator_on ? kTermByte : kTermOffByte;
  int term_len = bounded_len(f->terminator, kFormByteTextUnits - 1);
  if (term_len == 2)
    s->rs_endchar = static_cast<uint8_t>(convert_hex_value(f->terminator, 2) & 0xFF);
  else if (begins_with(f->terminator, term_len, u"0D0A") || begins_with(f->terminator, term_len, u"0d0a"))
    s->rs_endchar_on = f->terminator_on ? kTermCrLf : kTermOffCrLf;

  char16_t kind[16];
  copy_text(kind, 16, f->kind, 15);
  s->rs_scchar_mode = checksum_kind_from_name(kind);
}
