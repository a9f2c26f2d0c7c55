// Modbus registers as plot values: each good read answer (functions 1-4),
// with the request it pairs with (the Modbus monitor's pairing), gives one
// value per coil, input or register, named by slave, table and address:
// "slave 1 coil 3", "slave 1 DI 3", "slave 1 HR 0", "slave 1 IR 7".
// A register series is read as the user chooses: unsigned or signed 16
// bits, or 32 bits (integer or float) from it and the next register, either
// word first, times a scale. Pure.
#pragma once

#include <cstdint>

#include "modbus/modbus_monitor.h"
#include "plot/plot_store.h"

enum PlotRegisterType : uint8_t { kPlotU16 = 0, kPlotS16, kPlotU32, kPlotS32, kPlotF32 };

struct PlotRegisterRead {
  uint8_t type;        // PlotRegisterType
  uint8_t low_first;   // 32 bits: 1 when the register holds the low word and the next one the high word
  double scale;        // the value is multiplied by it (1 when not set)
};

struct PlotRegisterPoint {
  char name[kPlotNameBytes];
  uint16_t word;       // the register (or 0/1 for a coil or input)
  uint16_t next;       // the register after it in the same answer
  uint8_t has_next;    // 0 when it was the answer's last register
  uint8_t is_bit;      // a coil or discrete input
};

// The values of a good read answer `answer` paired with `request` (both
// with a good check, the request's address and quantity known), from the
// `from`-th on, into out[0 .. capacity - 1]: how many. 0 for any other
// frame. `body` (modbus_frame_body, may be null) gives every value; without
// it, those the answer's fields kept.
int32_t plot_modbus_points(const ModbusFrame& request, const ModbusFrame& answer, const uint8_t* body,
                           int32_t body_len, int32_t from, PlotRegisterPoint* out, int32_t capacity);

// The value of a point read as `read` says: 1 and *value, or 0 when a
// 32-bit read has no next register (or the float is not a number).
int plot_register_value(const PlotRegisterPoint& p, const PlotRegisterRead& read, double* value);
