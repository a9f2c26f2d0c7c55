#include "send/repeat.h"

#include <cstdint>

void repeat_begin(RepeatSchedule* s, int64_t start_us, int64_t period_ms, int64_t beats) {
  *s = {};
  s->start_us = start_us;
  s->period_us = period_ms * 1000;
  s->beats = beats;
}

int repeat_over(const RepeatSchedule* s) { return s->period_us <= 0 || (s->beats > 0 && s->next >= s->beats); }

int64_t repeat_due_us(const RepeatSchedule* s) {
  return repeat_over(s) ? INT64_MAX : s->start_us + s->next * s->period_us;
}

int repeat_take(RepeatSchedule* s, int64_t now_us, int64_t line_free_us) {
  if (repeat_over(s) || now_us < repeat_due_us(s)) return 0;
  // The latest beat due by now; a count's last beat is the latest there is.
  int64_t latest = (now_us - s->start_us) / s->period_us;
  if (s->beats > 0 && latest > s->beats - 1) latest = s->beats - 1;
  // The first beat due once the line was free: the ones before it came
  // while a write was on the line, and going now would bunch behind it.
  int64_t first_free = 0;
  if (line_free_us > s->start_us) first_free = (line_free_us - s->start_us + s->period_us - 1) / s->period_us;
  if (first_free > latest) {
    s->skipped += latest + 1 - s->next;
    s->next = latest + 1;
    return 0;
  }
  s->skipped += latest - s->next;
  s->next = latest;
  return 1;
}

void repeat_note(RepeatSchedule* s, int sent) {
  if (repeat_over(s)) return;
  if (sent) s->sent++;
  else s->skipped++;
  s->next++;
}

namespace {

// Whole decimal digits only; -1 when not, or past `most`.
int64_t whole(const char16_t* text, int64_t most) {
  while (*text == u' ') text++;
  if (!*text) return -1;
  int64_t v = 0;
  for (; *text >= u'0' && *text <= u'9'; text++) {
    v = v * 10 + (*text - u'0');
    if (v > most) return -1;
  }
  while (*text == u' ') text++;
  return *text ? -1 : v;
}

}  // namespace

int repeat_fields_parse(const char16_t* period, const char16_t* count, int64_t* period_ms, int64_t* beats) {
  const int64_t p = whole(period, kRepeatPeriodMostMs);
  if (p < kRepeatPeriodLeastMs) return kRepeatPeriodBad;
  int64_t c = 0;
  const char16_t* at = count;
  while (*at == u' ') at++;
  if (*at && (c = whole(count, kRepeatCountMost)) < 0) return kRepeatCountBad;
  *period_ms = p;
  *beats = c;
  return kRepeatFieldsOk;
}
