// Find's finds as text: the Find All list's cells, its CSV export, and the
// command line's rows. English, as the exports are.
#pragma once

#include <cstdint>

#include "find/find_query.h"

// A find's time as the list and the CSVs write it: seconds since `origin`
// ("12.345678", empty when a time is unknown) and the time of day of
// `local_us` (µs since 1970 read as UTC: "14:03:07.250000", empty when unknown).
void find_time_texts(int64_t t, int64_t origin, int64_t local_us, char seconds[40], char day[24]);

// One find as the Find All list and its CSV show it (English, as the
// exports are): time, channel ("CH1"), direction ("RX", "TX"; empty for an
// event), what was found ("silence 120.500 ms", "BAD CRC", "exception 02
// Illegal Data Address", "no answer", "lost error 2"; empty for bytes),
// and the first bytes of the find (up to kFindPreviewBytes) as hex and as
// text (a dot for a byte that does not print).
constexpr int kFindPreviewBytes = 8;
struct FindRowText {
  char seconds[40];
  char day[24];
  char channel[4];
  char direction[4];
  char found[96];
  char hex[3 * kFindPreviewBytes + 1];
  char text[kFindPreviewBytes + 1];
};
void find_row_text(const FindFound& f, int64_t origin, int64_t local_us, const uint8_t* preview, int32_t preview_n,
                   FindRowText* out);
// The command line's row of a find (CR LF ended) into out:
// time_s,time_of_day,channel,direction,found,stream_offset, the offset
// empty for an event. Its length, or -1 when it does not fit in `room`.
int32_t find_line_row(const FindRowText& t, const FindFound& f, char* out, int32_t room);
// The CSV of the list: its header line, and one row (CR LF ended; the text
// quoted when it holds a comma or a quote) into out: its length, or -1 when
// it does not fit in `room`.
constexpr const char* kFindCsvHeader = "time_s,time_of_day,channel,direction,found,hex,text\r\n";
int32_t find_csv_row(const FindRowText& t, char* out, int32_t room);
// Up to kFindPreviewBytes bytes of the find's stream from its first record
// on, over the gap markers between its chunks: how many.
int32_t find_preview(const CaptureRecord* records, int32_t count, const FindFound& f, uint8_t out[kFindPreviewBytes]);
// What the Find window's list says a byte find found (find_row_text leaves
// it empty, as the command line's rows have it): the pattern looked for in
// hex as typed (a letter found in either case as the user wrote it), "??"
// for any byte ("4C 30 ?? 30"), cut to "... " past what fits.
void find_pattern_found(const FindPattern& p, char out[sizeof FindRowText::found]);
