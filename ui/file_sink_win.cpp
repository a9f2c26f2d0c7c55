#include "ui/file_sink_win.h"

int file_sink_write(void* ctx, const uint8_t* bytes, int n) {
  DWORD done = 0;
  return WriteFile(static_cast<HANDLE>(ctx), bytes, static_cast<DWORD>(n), &done, nullptr) &&
                 done == static_cast<DWORD>(n)
             ? 0
             : 1;
}
