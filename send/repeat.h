// The beat of a repeated send, decided without a clock or a port: when each
// send is due, which beats were missed, and when the repeat is over. The
// Win32 worker (send/repeat_win.cpp) asks it on each wake.
//
// Beat k is due at start + k * period, whatever happened before it, so a
// repeat keeps its beat over hours. A wake that finds several beats passed
// serves the latest one and counts the earlier ones skipped: after a stall
// the line sees one send, never a burst. A beat that came due while the
// channel's previous write was still on the line is skipped, not sent right
// behind it; so is a beat whose send could not go (the port closed, lost or
// busy with another sender). A count of beats ends the repeat after its
// last; 0 repeats until stopped.
#pragma once

#include <cstdint>

constexpr int64_t kRepeatPeriodLeastMs = 10;
constexpr int64_t kRepeatPeriodMostMs = 24 * 60 * 60 * 1000;
constexpr int64_t kRepeatCountMost = 999999999;

struct RepeatSchedule {
  int64_t start_us;
  int64_t period_us;
  int64_t beats;  // 0: until stopped
  int64_t next;   // the beat to serve next
  int64_t sent;
  int64_t skipped;
};

void repeat_begin(RepeatSchedule* s, int64_t start_us, int64_t period_ms, int64_t beats);
// 1 once the last beat was served.
int repeat_over(const RepeatSchedule* s);
// When the next beat is due (µs on the start's clock); INT64_MAX when over.
int64_t repeat_due_us(const RepeatSchedule* s);
// At `now_us`, the channel's last write having ended at `line_free_us`: 1
// when a beat is due, which the caller serves and then notes with
// repeat_note; beats that passed before the latest due one, and those that
// came due before the line was free, are counted skipped here. 0 when none
// is due yet, or the due ones all came while the line was busy, or the
// repeat is over (which skipping its last beats may have made it).
int repeat_take(RepeatSchedule* s, int64_t now_us, int64_t line_free_us);
// The beat repeat_take gave was sent (sent = 1) or skipped (0).
void repeat_note(RepeatSchedule* s, int sent);

// The fields as typed: the period in whole ms (10 to 24 h) and the count of
// beats (0 to kRepeatCountMost, empty = 0). Returns kRepeatFieldsOk or
// which field is wrong, leaving the outputs alone.
enum RepeatFields { kRepeatFieldsOk = 0, kRepeatPeriodBad, kRepeatCountBad };
int repeat_fields_parse(const char16_t* period, const char16_t* count, int64_t* period_ms, int64_t* beats);
