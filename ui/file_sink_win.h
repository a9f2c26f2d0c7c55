// The one ByteSink that writes to a file: ctx is the file's HANDLE.
#pragma once

#include "app/app_win.h"
#include "app/byte_sink.h"

// Writes n bytes to the file handle ctx; 0 when all of them were written.
int file_sink_write(void* ctx, const uint8_t* bytes, int n);

inline ByteSink file_sink(HANDLE file) { return {file, file_sink_write}; }
