// Log files: a 32-byte header holding the record count as UTF-16LE text
// "%015d\r", then the capture records exactly as they lie in the buffer.
// This file decides what a header means and how much of a file may be
// loaded; the Win32 layer does the file I/O.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int kLogHeaderBytes = 32;

void logfile_format_header(int32_t count, uint8_t out[kLogHeaderBytes]);

// Decimal text-to-integer of the header text: leading blanks, an optional
// sign, then digits up to the first other code unit. Sets *has_digits.
int64_t logfile_parse_header(const uint8_t header[kLogHeaderBytes], int* has_digits);

enum LogLoadStatus {
  kLogLoadOk = 0,         // load `records` records, all the header declared
  kLogLoadCut,            // more than the buffer can hold: load the part that fits
  kLogLoadShort,          // the file holds fewer records than declared: load those
  kLogLoadNotLog,         // shorter than a header, or the header holds no count
  kLogLoadNegative,       // the header count is below zero
};

struct LogLoadPlan {
  int status;
  int64_t declared;  // count from the header
  int32_t records;   // records to read into the buffer (0 for refusals)
};

// Decides what to load from a file of `file_size` bytes whose first bytes
// are `header` (`header_len` of them were read). Never plans more records
// than the file holds or than kCaptureWrapThreshold, the most the program
// itself ever saves, so appends after the load stay inside the buffer.
LogLoadPlan logfile_plan_load(const uint8_t* header, size_t header_len, uint64_t file_size);
