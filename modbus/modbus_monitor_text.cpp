// The monitor's texts: the English names of codes and checks, a frame's
// summary and the CSV of a list of frames.
#include "modbus/modbus_monitor.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

struct Name {
  uint8_t code;
  const char* name;
};

// The names of the function and exception codes, English, as the CSV shows
// them; the window shows the message table's texts of the same codes.
constexpr Name kFunctionNames[] = {
    {0x01, "Read Coils"},
    {0x02, "Read Discrete Inputs"},
    {0x03, "Read Holding Registers"},
    {0x04, "Read Input Registers"},
    {0x05, "Write Single Coil"},
    {0x06, "Write Single Register"},
    {0x07, "Read Exception Status"},
    {0x08, "Diagnostics"},
    {0x0B, "Get Comm Event Counter"},
    {0x0C, "Get Comm Event Log"},
    {0x0F, "Write Multiple Coils"},
    {0x10, "Write Multiple Registers"},
    {0x11, "Report Server ID"},
    {0x14, "Read File Record"},
    {0x15, "Write File Record"},
    {0x16, "Mask Write Register"},
    {0x17, "Read/Write Multiple Registers"},
    {0x18, "Read FIFO Queue"},
    {0x2B, "Encapsulated Interface Transport"},
};
constexpr Name kExceptionNames[] = {
    {0x01, "Illegal Function"},
    {0x02, "Illegal Data Address"},
    {0x03, "Illegal Data Value"},
    {0x04, "Server Device Failure"},
    {0x05, "Acknowledge"},
    {0x06, "Server Device Busy"},
    {0x08, "Memory Parity Error"},
    {0x0A, "Gateway Path Unavailable"},
    {0x0B, "Gateway Target Device Failed to Respond"},
};

template <size_t N>
const char* name_in(const Name (&table)[N], uint8_t code) {
  for (const Name& n : table)
    if (n.code == code) return n.name;
  return "Unknown";
}

// A bounded text being built; what does not fit is cut.
struct Text {
  char* out;
  int cap, n;
};

void text_put(Text* t, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
void text_put(Text* t, const char* fmt, ...) {
  if (t->n >= t->cap - 1) return;
  va_list args;
  va_start(args, fmt);
  int w = std::vsnprintf(t->out + t->n, static_cast<size_t>(t->cap - t->n), fmt, args);
  va_end(args);
  if (w > 0) t->n = t->n + w < t->cap - 1 ? t->n + w : t->cap - 1;
}

}  // namespace

const char* modbus_function_name(uint8_t code) { return name_in(kFunctionNames, static_cast<uint8_t>(code & 0x7F)); }
const char* modbus_exception_name(uint8_t code) { return name_in(kExceptionNames, code); }

const char* modbus_check_name(uint8_t check) {
  static const char* const kNames[] = {"OK",         "BAD CRC",    "BAD LRC",     "TOO SHORT",
                                      "NOT MODBUS", "BAD LENGTH", "BAD PROTOCOL"};
  return check < sizeof kNames / sizeof kNames[0] ? kNames[check] : "NOT MODBUS";
}

int modbus_monitor_summary(const ModbusFrame* f, char out[kModbusMonitorSummaryChars]) {
  Text t = {out, kModbusMonitorSummaryChars, 0};
  out[0] = 0;
  const char* sep = "";
  if (f->fields & kFieldTransaction) {
    text_put(&t, "tid=0x%04X", f->transaction);
    sep = " ";
  }
  const int head = t.n;
  if (f->fields & kFieldException) {
    text_put(&t, "%sexception=%02X %s", sep, f->exception, modbus_exception_name(f->exception));
    return t.n;
  }
  if (f->fields & kFieldAddress) {
    text_put(&t, "%saddr=0x%04X", sep, f->address);
    sep = " ";
  }
  if (f->fields & kFieldQuantity) {
    text_put(&t, "%scount=%u", sep, f->quantity);
    sep = " ";
  }
  if (f->fields & kFieldValue) {
    text_put(&t, "%svalue=0x%04X", sep, f->value);
    sep = " ";
  }
  if (f->fields & kFieldByteCount) {
    text_put(&t, "%sbytes=%u", sep, f->byte_count);
    sep = " ";
  }
  if (f->fields & kFieldValues) {
    text_put(&t, " values=");
    for (int i = 0; i < f->value_count; i++) text_put(&t, "%s0x%04X", i ? "," : "", f->values[i]);
    if (f->value_count < f->byte_count / 2) text_put(&t, ",...");
  }
  if (f->fields & kFieldBits) {
    text_put(&t, " bits=");
    for (int i = 0; i < f->bit_bytes; i++) text_put(&t, "%s0x%02X", i ? "," : "", f->bits[i]);
    if (f->bit_bytes < f->byte_count) text_put(&t, ",...");
  }
  if (t.n == head) text_put(&t, "%slength=%d", sep, f->length);
  return t.n;
}

namespace {

struct CsvOut {
  const ByteSink* sink;
  char buf[1024];
  int n;
  int failed;
};

void csv_flush(CsvOut* o) {
  if (o->n > 0 && !o->failed && o->sink->write(o->sink->ctx, reinterpret_cast<const uint8_t*>(o->buf), o->n) != 0) o->failed = 1;
  o->n = 0;
}

void csv_text(CsvOut* o, const char* s, int len) {
  for (int i = 0; i < len; i++) {
    if (o->n == static_cast<int>(sizeof o->buf)) csv_flush(o);
    o->buf[o->n++] = s[i];
  }
}
void csv_text(CsvOut* o, const char* s) { csv_text(o, s, static_cast<int>(std::strlen(s))); }

// to - from in whole units and the rest, e.g. µs as seconds with "%s%llu.%06llu";
// the difference is taken in 64 unsigned bits, so no pair of times overflows.
void csv_span(CsvOut* o, int64_t from, int64_t to, uint64_t unit, const char* format) {
  char t[48];
  const int negative = to < from;
  uint64_t magnitude = negative ? static_cast<uint64_t>(from) - static_cast<uint64_t>(to)
                                : static_cast<uint64_t>(to) - static_cast<uint64_t>(from);
  std::snprintf(t, sizeof t, format, negative ? "-" : "", static_cast<unsigned long long>(magnitude / unit),
                static_cast<unsigned long long>(magnitude % unit));
  csv_text(o, t);
}

}  // namespace

int modbus_monitor_write_csv(const ModbusFrame* frames, int32_t n, int64_t origin, const ByteSink* sink, int header) {
  CsvOut o;
  o.sink = sink;
  o.n = 0;
  o.failed = 0;
  if (header) csv_text(&o, "time_s,channel,direction,role,mode,slave,function,summary,check,latency_ms\r\n");
  for (int32_t i = 0; i < n && !o.failed; i++) {
    const ModbusFrame* f = &frames[i];
    if (f->time_us != kTimeUnknown && origin != kTimeUnknown)
      csv_span(&o, origin, f->time_us, 1'000'000, "%s%llu.%06llu");
    csv_text(&o, f->channel == 2 ? ",CH2," : ",CH1,");
    csv_text(&o, f->sent ? "TX," : "RX,");
    csv_text(&o, f->role == kMonitorAnswer ? "answer," : "request,");
    csv_text(&o, modbus_mode_name(f->mode));
    csv_text(&o, ",");
    char t[16];
    if (f->fields & kFieldSlave) {
      std::snprintf(t, sizeof t, "%u", f->slave);
      csv_text(&o, t);
    }
    csv_text(&o, ",");
    if (f->fields & kFieldFunction) {
      std::snprintf(t, sizeof t, "%02X", f->function);
      csv_text(&o, t);
    }
    csv_text(&o, ",");
    char summary[kModbusMonitorSummaryChars];
    int len = modbus_monitor_summary(f, summary);
    if (std::strpbrk(summary, ",\"")) {
      csv_text(&o, "\"");
      for (int k = 0; k < len; k++) csv_text(&o, summary[k] == '"' ? "\"\"" : &summary[k], summary[k] == '"' ? 2 : 1);
      csv_text(&o, "\"");
    } else {
      csv_text(&o, summary, len);
    }
    csv_text(&o, ",");
    csv_text(&o, modbus_check_name(f->check));
    csv_text(&o, ",");
    if (f->role == kMonitorAnswer && f->pair >= 0 && f->latency_us != kTimeUnknown)
      csv_span(&o, 0, f->latency_us, 1000, "%s%llu.%03llu");
    csv_text(&o, "\r\n");
  }
  csv_flush(&o);
  return o.failed;
}

