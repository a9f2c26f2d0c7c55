#include "plot/plot_modbus.h"

#include <cmath>
#include <cstdio>
#include <cstring>

int32_t plot_modbus_points(const ModbusFrame& request, const ModbusFrame& answer, const uint8_t* body,
                           int32_t body_len, int32_t from, PlotRegisterPoint* out, int32_t capacity) {
  if (answer.check != kMonitorOk || request.check != kMonitorOk || answer.role != kMonitorAnswer) return 0;
  if ((answer.fields & kFieldException) || answer.function < 1 || answer.function > 4) return 0;
  if (!(request.fields & kFieldAddress) || !(request.fields & kFieldQuantity)) return 0;
  if (request.function != answer.function || request.slave != answer.slave) return 0;
  // The answer's data: every byte of its body (slave, function, byte count,
  // then the data), else what the frame's fields kept.
  const uint8_t* data = nullptr;
  int32_t data_len = 0;
  if (body && body_len >= 3 && body[1] == answer.function) {
    data = body + 3;
    data_len = body_len - 3 < body[2] ? body_len - 3 : body[2];
  }
  static const char* const kTable[5] = {"", "coil", "DI", "HR", "IR"};
  int32_t n = 0;
  if (answer.function <= 2) {
    if (!data && !(answer.fields & kFieldBits)) return 0;
    const uint8_t* bytes = data ? data : answer.bits;
    int32_t bits = (data ? data_len : answer.bit_bytes) * 8;
    if (bits > request.quantity) bits = request.quantity;
    for (int32_t i = from; i < bits && n < capacity; i++, n++) {
      PlotRegisterPoint& p = out[n];
      snprintf(p.name, sizeof p.name, "slave %u %s %u", answer.slave, kTable[answer.function],
               static_cast<unsigned>((request.address + i) & 0xFFFF));
      p.word = (bytes[i / 8] >> (i % 8)) & 1;
      p.next = 0;
      p.has_next = 0;
      p.is_bit = 1;
    }
    return n;
  }
  if (!data && !(answer.fields & kFieldValues)) return 0;
  int32_t words = data ? data_len / 2 : answer.value_count;
  if (words > request.quantity) words = request.quantity;
  auto word = [&](int32_t i) {
    return data ? static_cast<uint16_t>(data[2 * i] << 8 | data[2 * i + 1]) : answer.values[i];
  };
  for (int32_t i = from; i < words && n < capacity; i++, n++) {
    PlotRegisterPoint& p = out[n];
    snprintf(p.name, sizeof p.name, "slave %u %s %u", answer.slave, kTable[answer.function],
             static_cast<unsigned>((request.address + i) & 0xFFFF));
    p.word = word(i);
    p.has_next = i + 1 < words;
    p.next = p.has_next ? word(i + 1) : 0;
    p.is_bit = 0;
  }
  return n;
}

int plot_register_value(const PlotRegisterPoint& p, const PlotRegisterRead& read, double* value) {
  double scale = read.scale != 0 ? read.scale : 1.0;
  if (p.is_bit || read.type == kPlotU16) {
    *value = p.word * scale;
    return 1;
  }
  if (read.type == kPlotS16) {
    *value = static_cast<int16_t>(p.word) * scale;
    return 1;
  }
  if (!p.has_next) return 0;
  uint32_t high = read.low_first ? p.next : p.word;
  uint32_t low = read.low_first ? p.word : p.next;
  uint32_t bits = (high << 16) | low;
  if (read.type == kPlotU32) {
    *value = bits * scale;
  } else if (read.type == kPlotS32) {
    *value = static_cast<int32_t>(bits) * scale;
  } else {
    float f;
    memcpy(&f, &bits, sizeof f);
    if (!std::isfinite(f)) return 0;
    *value = f * scale;
  }
  return 1;
}
