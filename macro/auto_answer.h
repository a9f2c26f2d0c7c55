// Auto answer rules: "when CHn receives these bytes, send those after N ms",
// kept in answers.txt, and the matcher that watches each channel's received
// bytes for them.
//
// answers.txt is UTF-16LE with its byte-order mark (a file without one is
// refused, as macro and strings files are), one rule per line, lines ending
// in CR LF (a lone LF is taken too). The fields of a line are separated by
// tabs, which never appear in the strings notation the writer uses (a tab
// byte is written 09):
//
//   [off<TAB>]CH1<TAB>"PING"0D<TAB>50<TAB>"PONG"0D0A
//
// - "off" first switches the rule off; without it the rule is on, so a
//   file written before rules could be switched off loads with all on.
// - CH1 or CH2: the channel whose received bytes are watched and on which
//   the answer goes out.
// - the match, 1 to kAutoAnswerMatchBytes bytes, and the answer, 1 to
//   kAutoAnswerBytes bytes, in the byte notation read strictly (quoted text
//   as it is, hex pairs outside quotes, blanks between them; see
//   codec/notation.h): PING without quotes or a lone digit is refused with
//   its reason, never read as other bytes; every unit must be a byte.
// - the delay: decimal milliseconds, 0 to kAutoAnswerMostDelayMs.
// Empty lines are skipped. The writer writes printable runs of two or more
// bytes (20 to 7E but the double quote) in double quotes and every other
// byte as an upper-case hex pair, so reading a file it wrote and writing the
// rules again gives the same bytes.
//
// A line that cannot be taken is reported with its number (1-based) and a
// reason; the other lines still load. Past kAutoAnswerRules rules every
// further rule line is reported as kAutoAnswerTooMany.
//
// The matcher keeps the last bytes of one channel's received stream (no
// more than the longest match, a fixed buffer), so a match may arrive
// split over any number of chunks. After every byte the enabled rules of
// that channel are tried in file order; the first whose match ends at this
// byte fires. A fire uses up the bytes before it: matching restarts after
// the matched bytes, so no two fires share a byte, and the rule whose match
// ends first wins over a longer one that would end later. Work per byte is
// at most rules x match length comparisons (compared from the last byte,
// which usually differs at once): linear in the stream.
#pragma once

#include <cstddef>
#include <cstdint>

#include "app/byte_sink.h"

constexpr int kAutoAnswerRules = 32;
constexpr int kAutoAnswerMatchBytes = 64;
constexpr int kAutoAnswerBytes = 256;
constexpr int32_t kAutoAnswerMostDelayMs = 60000;
constexpr int kAutoAnswerLineMax = 1200;  // units of a line before its line end
constexpr int kAutoAnswerProblems = 16;   // problems kept with their line numbers

struct AutoAnswerRule {
  int32_t enabled;   // 1 on, 0 off
  int32_t channel;   // 1 or 2
  int32_t delay_ms;
  int32_t match_length;
  uint8_t match[kAutoAnswerMatchBytes];
  int32_t answer_length;
  uint8_t answer[kAutoAnswerBytes];
  uint32_t fired;    // fires since the rules were loaded
};

enum AutoAnswerReason {
  kAutoAnswerLineTooLong = 1,  // more than kAutoAnswerLineMax units
  kAutoAnswerFields,           // not 4 fields (5 with "off")
  kAutoAnswerBadChannel,       // neither CH1 nor CH2
  kAutoAnswerBadMatch,         // empty, or a unit above FF
  kAutoAnswerMatchTooLong,     // more than kAutoAnswerMatchBytes bytes
  kAutoAnswerBadDelay,         // not 0 .. kAutoAnswerMostDelayMs in decimal
  kAutoAnswerBadAnswer,        // empty, or a unit above FF
  kAutoAnswerAnswerTooLong,    // more than kAutoAnswerBytes bytes
  kAutoAnswerTooMany,          // past kAutoAnswerRules rules
  kAutoAnswerMatchNotation,    // the match is not quoted text and hex pairs (codec/notation.h)
  kAutoAnswerAnswerNotation,   // the answer is not quoted text and hex pairs
};

struct AutoAnswerProblem {
  int32_t line;    // 1-based
  int32_t reason;  // an AutoAnswerReason
};

struct AutoAnswerRules {
  int32_t count;
  AutoAnswerRule rules[kAutoAnswerRules];
  int32_t problem_count;  // all problems found; the first kAutoAnswerProblems are kept
  AutoAnswerProblem problems[kAutoAnswerProblems];
};

enum AutoAnswerFileResult {
  kAutoAnswerFileOk = 0,
  kAutoAnswerFileNotUtf16 = 1,  // empty, or no FF FE at the start: nothing is read
};

// Reads a whole file of `size` bytes into `out` (cleared first).
int auto_answer_parse(const uint8_t* bytes, size_t size, AutoAnswerRules* out);

// One rule as a line without its line end, into out; returns its units.
constexpr int kAutoAnswerLineUnits = 4 + 4 + 2 * kAutoAnswerMatchBytes + 6 + 2 * kAutoAnswerBytes + 8;
int auto_answer_line(const AutoAnswerRule* rule, char16_t out[kAutoAnswerLineUnits]);

// A rule from the fields an editor shows: the channel (1 or 2), the match
// and the answer in the strings notation, the delay in decimal ms. Returns
// 0 with *rule filled (on, never fired), or the AutoAnswerReason of the
// first field that cannot be taken.
int auto_answer_rule_from_fields(int channel, const char16_t* match, int match_units, const char16_t* delay,
                                 int delay_units, const char16_t* answer, int answer_units, AutoAnswerRule* rule);

// Bytes (at most kAutoAnswerBytes) in the notation the writer uses, into
// out (2 * n units suffice); returns the units written.
int auto_answer_bytes_text(const uint8_t* bytes, int n, char16_t* out);

// Writes the byte-order mark and every rule, one line each. Returns 0, or 1
// when the sink refused bytes.
int auto_answer_write(const AutoAnswerRules* rules, const ByteSink* sink);

// One channel's watch over its received bytes.
struct AutoAnswerMatcher {
  int32_t channel;  // 1 or 2
  int32_t held;     // bytes in history
  uint8_t history[kAutoAnswerMatchBytes];
};

// What a fire asks for: send the rule's answer on its channel after delay_ms.
struct AutoAnswerFire {
  int32_t rule;  // index in the rules
  int32_t channel;
  int32_t delay_ms;
  const uint8_t* answer;  // the rule's answer bytes (inside the rules)
  int32_t answer_length;
  int32_t end;  // in the bytes of this feed, just past the byte that ended the match
};

// Starts (or restarts, after the rules changed) a channel's matcher.
void auto_answer_matcher_begin(AutoAnswerMatcher* m, int channel);

// Takes received bytes in order until they are used up or `most` fires were
// found; every fire counts up its rule's `fired`. Returns the fires written
// to `fires` and sets *used to the bytes taken, so a caller with a full
// fire list feeds the rest again.
int auto_answer_feed(AutoAnswerMatcher* m, AutoAnswerRules* rules, const uint8_t* bytes, int n,
                     AutoAnswerFire* fires, int most, int* used);
