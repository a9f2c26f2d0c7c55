#include "modbus/modbus.h"

#include "app/text16.h"
#include "codec/checksum.h"
#include "settings/message_text.h"

namespace {

// Length of a terminated text, looking at no more than `max` units.
int bounded_len(const char16_t* text, int max) {
  int n = 0;
  while (n < max && text[n]) n++;
  return n;
}

// A data text as the field gives it: at most `limit` units are taken, after
// a last control character (a line end from the field) is dropped. Sets
// *cut when more than `limit` units remained.
int data_text_len(const char16_t* text, int limit, int* cut) {
  int n = bounded_len(text, limit + 2);
  if (n > 0 && text[n - 1] < 0x20) n--;
  *cut = n > limit;
  return n > limit ? limit : n;
}

uint8_t hex_pair(char16_t a, char16_t b) {
  const char16_t pair[2] = {a, b};
  return static_cast<uint8_t>(convert_hex_value(pair, 2) & 0xFF);
}

void clear_store(uint16_t store[kModbusStoreUnits]) {
  for (int i = 0; i < kModbusStoreUnits; i++) store[i] = 0;
}

// The frame under construction. Units are counted past the buffer's end,
// so an oversize frame is measured, never written beyond it.
struct FrameWriter {
  char16_t units[kModbusFrameUnits];
  int32_t len;
  const AnsiCodec* codec;

  void put(char16_t u) {
    if (u >= 0x100) {
      uint8_t byte = 0;
      convert_chars_to_bytes(codec, &u, 1, &byte, 1);
      u = byte;
    }
    if (len < kModbusFrameUnits) units[len] = u;
    len++;
  }
  void put_hex(uint32_t value, int digits) {
    static const char16_t kDigits[] = u"0123456789ABCDEF";
    for (int d = digits - 1; d >= 0; d--) put(kDigits[(value >> (4 * d)) & 15]);
  }
  // A byte of the message: two hex characters in ASCII mode, itself in RTU.
  void put_byte(int ascii, uint8_t b) {
    if (ascii) put_hex(b, 2);
    else put(b);
  }
  void put_word(int ascii, uint16_t w) {
    put_byte(ascii, static_cast<uint8_t>(w >> 8));
    put_byte(ascii, static_cast<uint8_t>(w & 0xFF));
  }
};

bool uses_address(uint8_t code) { return code != 0x0B && code != 0x0C && code != 0x11; }
bool uses_count(uint8_t code) { return (code >= 0x01 && code <= 0x04) || code == 0x0F || code == 0x10; }
bool single_data(uint8_t code) { return code == 0x05 || code == 0x06 || code == 0x08; }
bool block_data(uint8_t code) { return code == 0x0F || code == 0x10; }

// Data of 0x05, 0x06 and 0x08: the user types it as hex text in ASC entry;
// in HEX entry the store already holds the bytes.
void put_single_data(FrameWriter* w, int ascii, int hex_entry, const uint16_t* store, int32_t count) {
  if (hex_entry) {
    for (int32_t i = 0; i < count; i++) w->put_byte(ascii, static_cast<uint8_t>(store[i] & 0xFF));
    return;
  }
  if (ascii) {
    for (int32_t i = 0; i < count; i++) w->put(store[i]);
    return;
  }
  if (count > 0 && store[count - 1] < 0x20) count--;
  // A unit from 0x100 up is read as the byte it is sent as, as in the
  // ASCII frame.
  char16_t text[kModbusDataUnits];
  for (int32_t i = 0; i < count; i++) {
    uint8_t byte = 0;
    char16_t u = store[i];
    convert_chars_to_bytes(w->codec, &u, 1, &byte, 1);
    text[i] = byte;
  }
  for (int32_t i = 0; i + 1 < count; i += 2) w->put(hex_pair(text[i], text[i + 1]));
}

// Data of 0x0F and 0x10: n bytes, the store as far as it reaches and then
// zeros. In an ASCII frame each byte is two hex characters, as the byte
// count announces: typed hex text in ASC entry (padded with "0"), the bytes
// written out in HEX entry.
void put_block_data(FrameWriter* w, int ascii, int hex_entry, const uint16_t* store, int32_t count, int32_t n) {
  if (ascii && !hex_entry) {
    for (int32_t i = 0; i < 2 * n; i++) w->put(i < count ? store[i] : u'0');
    return;
  }
  for (int32_t i = 0; i < n; i++) {
    uint16_t u = i < count ? store[i] : 0;
    if (ascii) w->put_byte(1, static_cast<uint8_t>(u));
    else w->put(u);
  }
}

}  // namespace

void modbus_field_rule(uint8_t code, ModbusFieldRule* out) {
  const bool read = code >= 0x01 && code <= 0x04;
  out->address_on = uses_address(code);
  out->count_on = uses_address(code) && !single_data(code);
  out->data_on = uses_address(code) && !read;
  out->ratio_on = code == 0x10;
  out->address_label = code == 0x08 ? kTextModbusSubFunction : kTextModbusRegister;
}

uint8_t modbus_function_from_text(const char16_t* text) {
  return static_cast<uint8_t>(convert_hex_value(text, bounded_len(text, kModbusComboChars)) & 0xFF);
}

uint16_t modbus_ratio_from_text(const char16_t* text) {
  int n = bounded_len(text, kModbusComboChars);
  uint16_t ratio = n > 1 ? static_cast<uint16_t>(convert_hex_value(text + 1, n - 1) & 0xFFFF) : 0;
  return ratio == 0 ? 1 : ratio;
}

int32_t modbus_byte_count(uint8_t code, uint16_t count, uint16_t ratio) {
  if (code == 0x0F) return (static_cast<int32_t>(count) + 7) / 8;
  if (code == 0x10) return static_cast<int32_t>(ratio) * count;
  return 0;
}

int modbus_read_inputs(const ModbusTexts* t, Settings* s, ModbusState* st, uint16_t store[kModbusStoreUnits]) {
  int errors = 0;
  if (bounded_len(t->slave, kModbusFieldChars) == 2) {
    s->dlg13_slave_char[0] = t->slave[0];
    s->dlg13_slave_char[1] = t->slave[1];
    s->dlg13_slave_char[2] = 0;
  } else {
    errors |= kModbusBadSlave;
  }
  s->dlg13_fanction = modbus_function_from_text(t->function);
  // Values are stored in 16 bits; one beyond them is refused rather than
  // cut to another register.
  int32_t address = text16_to_int(t->address, bounded_len(t->address, kModbusFieldChars));
  if (address < 0 || address > 0xFFFF) errors |= kModbusBadAddress;
  else s->dlg13_address = static_cast<uint16_t>(address);
  int32_t count = text16_to_int(t->count, bounded_len(t->count, kModbusFieldChars));
  if (count < 1 || count > 0xFFFF) errors |= kModbusBadCount;
  else s->dlg13_conut = static_cast<uint16_t>(count);
  s->dlg13_byteratio = modbus_ratio_from_text(t->ratio);
  st->hex_entry = t->hex_entry ? 1 : 0;

  clear_store(store);
  int cut = 0;
  if (st->hex_entry) {
    int n = data_text_len(t->data, kModbusDataHexChars, &cut);
    st->data_count = n / 2;
    for (int i = 0; i < st->data_count; i++) store[i] = hex_pair(t->data[2 * i], t->data[2 * i + 1]);
  } else {
    int n = data_text_len(t->data, kModbusDataUnits, &cut);
    st->data_count = n;
    for (int i = 0; i < n; i++) store[i] = t->data[i];
  }
  if (cut) errors |= kModbusDataCut;
  return errors;
}

int modbus_entry_to_hex(const char16_t* field, const AnsiCodec* codec, ModbusState* st,
                        uint16_t store[kModbusStoreUnits], char16_t out[kModbusDataTextUnits]) {
  int cut = 0;
  int n = data_text_len(field, kModbusDataUnits, &cut);
  clear_store(store);
  for (int i = 0; i < n; i++) store[i] = field[i];
  st->data_count = n;
  st->hex_entry = 1;
  modbus_data_text(st, store, codec, out);
  return cut;
}

int modbus_entry_to_asc(const char16_t* field, ModbusState* st, uint16_t store[kModbusStoreUnits],
                        char16_t out[kModbusDataTextUnits]) {
  int cut = 0;
  int pairs = data_text_len(field, kModbusDataHexChars, &cut) / 2;
  uint8_t bytes[kModbusDataUnits];
  for (int i = 0; i < pairs; i++) {
    bytes[i] = hex_pair(field[2 * i], field[2 * i + 1]);
    if (bytes[i] == 0) return kModbusEntryHasNul;
  }
  clear_store(store);
  for (int i = 0; i < pairs; i++) store[i] = bytes[i];
  st->data_count = pairs;
  st->hex_entry = 0;
  modbus_data_text(st, store, nullptr, out);
  return kModbusEntryOk;
}

void modbus_data_text(const ModbusState* st, const uint16_t store[kModbusStoreUnits], const AnsiCodec* codec,
                      char16_t out[kModbusDataTextUnits]) {
  int32_t count = st->data_count;
  if (count < 0) count = 0;
  if (count > kModbusDataUnits) count = kModbusDataUnits;
  if (!st->hex_entry) {
    // A unit 0 would end the text early: the field shows what comes before.
    int32_t i = 0;
    for (; i < count && store[i]; i++) out[i] = store[i];
    out[i] = 0;
    return;
  }
  for (int32_t i = 0; i < count; i++) {
    uint8_t byte = static_cast<uint8_t>(store[i]);
    if (store[i] >= 0x100 && codec) {
      char16_t u = store[i];
      convert_chars_to_bytes(codec, &u, 1, &byte, 1);
    }
    static const char16_t kDigits[] = u"0123456789ABCDEF";
    out[2 * i] = kDigits[byte >> 4];
    out[2 * i + 1] = kDigits[byte & 15];
  }
  out[2 * count] = 0;
}

int modbus_assemble(const Settings* s, ModbusState* st, const uint16_t store[kModbusStoreUnits],
                    const AnsiCodec* codec, int32_t* size) {
  const uint8_t code = s->dlg13_fanction;
  const int ascii = st->mode == kModbusAscii;
  const int tcp = st->mode == kModbusTcp;
  const int32_t n = modbus_byte_count(code, s->dlg13_conut, s->dlg13_byteratio);
  if (n > 0xFF) {
    *size = n;
    return kModbusByteCountTooLarge;
  }
  int32_t data_count = st->data_count;
  if (data_count < 0) data_count = 0;
  if (data_count > kModbusDataUnits) data_count = kModbusDataUnits;

  FrameWriter w;
  w.len = 0;
  w.codec = codec;
  const char16_t* slave = s->dlg13_slave_char;
  const uint16_t transaction = static_cast<uint16_t>(st->transaction + 1);
  if (tcp) {
    // The MBAP header; its length is written once the PDU is there.
    w.put_word(0, transaction);
    w.put_word(0, 0);
    w.put_word(0, 0);
  }
  if (ascii) {
    w.put(static_cast<char16_t>(convert_hex_value(s->dlg13_start_char, bounded_len(s->dlg13_start_char, 2)) & 0xFF));
    for (int i = 0; i < bounded_len(slave, 2); i++) w.put(slave[i]);
  } else {
    w.put(hex_pair(slave[0], slave[0] ? slave[1] : 0));
  }
  w.put_byte(ascii, code);
  if (uses_address(code)) w.put_word(ascii, s->dlg13_address);
  if (uses_count(code)) w.put_word(ascii, s->dlg13_conut);
  if (block_data(code)) {
    w.put_byte(ascii, static_cast<uint8_t>(n));
    put_block_data(&w, ascii, st->hex_entry, store, data_count, n);
  } else if (single_data(code)) {
    put_single_data(&w, ascii, st->hex_entry, store, data_count);
  }

  // The check and, in ASCII mode, the end code complete the frame; one
  // that would not fit the buffer is refused before they are computed.
  const int end_len = bounded_len(s->dlg13_end_char, 4);
  const int32_t tail = ascii ? 2 + end_len / 2 : tcp ? 0 : 2;
  if (w.len + tail > kModbusFrameUnits) {
    *size = w.len + tail;
    return kModbusFrameTooLong;
  }
  uint8_t body[kModbusFrameUnits];
  for (int32_t i = 0; i < w.len; i++) body[i] = static_cast<uint8_t>(w.units[i]);
  uint8_t check[kChecksumResultMax];
  if (tcp) {
    // The length counts the unit and the PDU: all that follows it.
    w.units[4] = static_cast<char16_t>((w.len - 6) >> 8);
    w.units[5] = static_cast<char16_t>((w.len - 6) & 0xFF);
    st->transaction = transaction;
  } else if (ascii) {
    // The LRC of the hex pairs after the start character.
    int k = checksum_compute(body + 1, w.len - 1, kChecksumLrc, kChecksumAsc, s->hexasc_komoji, check);
    for (int i = 0; i < k; i++) w.put(check[i]);
    // Each complete pair of the end code's text is one unit.
    for (int i = 0; i + 1 < end_len; i += 2) w.put(hex_pair(s->dlg13_end_char[i], s->dlg13_end_char[i + 1]));
  } else {
    int k = checksum_compute(body, w.len, kChecksumCrc16, kChecksumHex, 0, check);
    for (int i = 0; i < k; i++) w.put(check[i]);
  }
  for (int32_t i = 0; i < w.len; i++) st->frame[i] = w.units[i];
  for (int32_t i = w.len; i < kModbusFrameUnits; i++) st->frame[i] = 0;
  st->frame_length = w.len;
  *size = w.len;
  return kModbusAssembled;
}

const char* modbus_mode_name(int32_t mode) {
  return mode == kModbusAscii ? "ASCII" : mode == kModbusTcp ? "TCP" : "RTU";
}

int32_t modbus_preview_offset(ModbusState* st) {
  if (!st->preview_scrolled)
    st->preview_offset = st->frame_length >= 32 ? 32 * (st->frame_length / 32 - 1) : 0;
  if (st->preview_offset > kModbusPreviewLast) st->preview_offset = kModbusPreviewLast;
  if (st->preview_offset < 0) st->preview_offset = 0;
  st->preview_scrolled = 0;
  return st->preview_offset;
}

void modbus_preview_scroll(ModbusState* st, int right) {
  st->preview_offset += right ? 32 : -32;
  if (st->preview_offset < 0) st->preview_offset = 0;
  if (st->preview_offset > kModbusPreviewLast) st->preview_offset = kModbusPreviewLast;
  st->preview_scrolled = 1;
}
