// Where the core's writers (exports, the Modbus monitor's CSV, the macro
// written from a capture, answers.txt) put their bytes: a file on Windows
// (ui/file_sink_win.h), a buffer in the tests.
#pragma once

#include <cstdint>

struct ByteSink {
  void* ctx;
  int (*write)(void* ctx, const uint8_t* bytes, int n);  // 0 when all n bytes were taken
};
