#include "plot/plot_modbus.h"

#include <cmath>
#include <cstdio>
#include <cstring>

int32_t plot_modbus_points(const ModbusFrame& request, const ModbusFrame& answer, PlotRegisterPoint* out,
                           int32_t capacity) {
  if (answer.check != kMonitorOk || request.check != kMonitorOk || answer.role != kMonitorAnswer) return 0;
  if ((answer.fields & kFieldException) || answer.function < 1 || answer.function > 4) return 0;
  if (!(request.fields & kFieldAddress) || !(request.fields & kFieldQuantity)) return 0;
  if (request.function != answer.function || request.slave != answer.slave) return 0;
  static const char* const kTable[5] = {"", "coil", "DI", "HR", "IR"};
  int32_t n = 0;
  if (answer.function <= 2) {
    if (!(answer.fields & kFieldBits)) return 0;
    int32_t bits = answer.bit_bytes * 8;
    if (bits > request.quantity) bits = request.quantity;
    for (int32_t i = 0; i < bits && n < capacity; i++, n++) {
      PlotRegisterPoint& p = out[n];
      snprintf(p.name, sizeof p.name, "slave %u %s %u", answer.slave, kTable[answer.function],
               static_cast<unsigned>((request.address + i) & 0xFFFF));
      p.word = (answer.bits[i / 8] >> (i % 8)) & 1;
      p.next = 0;
      p.has_next = 0;
      p.is_bit = 1;
    }
    return n;
  }
  if (!(answer.fields & kFieldValues)) return 0;
  int32_t words = answer.value_count;
  if (words > request.quantity) words = request.quantity;
  for (int32_t i = 0; i < words && n < capacity; i++, n++) {
    PlotRegisterPoint& p = out[n];
    snprintf(p.name, sizeof p.name, "slave %u %s %u", answer.slave, kTable[answer.function],
             static_cast<unsigned>((request.address + i) & 0xFFFF));
    p.word = answer.values[i];
    p.has_next = i + 1 < words;
    p.next = p.has_next ? answer.values[i + 1] : 0;
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
