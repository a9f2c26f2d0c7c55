// Highlight rules: what the data view colours as it paints, kept in
// highlights.txt in the program folder, and the colouring of a stretch of
// records by them.
//
// highlights.txt is UTF-16LE with its byte-order mark (a file without one is
// refused whole, as answers.txt is), one rule a line, lines ending in CR LF
// (a lone LF or a lone CR ends one too), fields separated by tabs:
//
//   FF00FF<TAB>T<TAB>*<TAB>*<TAB>ALARM
//
// - the background colour as six hex digits RRGGBB;
// - the form: S strings notation, H hex with ??, T text with case, t text in
//   any case (Find's three forms, find/find_pattern.h), F a bad Modbus
//   frame, Q a silence of at least the pattern's milliseconds before a
//   chunk, E a line event whose name is the pattern ("lost", "back", ...);
// - the channel: *, 1 or 2; the direction: *, RX or TX;
// - the pattern: the rest of the line (tabs and all).
// A line beginning with ";" is a comment, except ";off<TAB>" followed by a
// rule: a rule switched off, which the reader keeps and the writer writes
// so, and which any other reader of the format takes for a comment. Empty
// lines are skipped. A line that cannot be taken is kept as a problem with
// its number (1-based) and reason; the other rules still load. Every line
// that is not taken as a rule (a comment, an empty line, a line that does not
// read, a rule past the most kept) is kept as read, with its place among the
// rules, and written back so: the dialog never loses what the user wrote.
//
// Colouring: each rule is a Find query (find/find_query.h) run over the
// records a paint shows plus a look-back (highlight_window_start), so what a
// rule colours is exactly what Find finds there: a match within one stream,
// across its chunks but never across a break of the line, coloured whole
// once its last byte is in. The first rule (in file order) that covers a
// byte colours it. A bad Modbus frame is known only from the monitor's
// framing and pairing over the whole capture (an answer that never came is
// told by the next frame of its pair): F rules colour by a decode made
// beside the window (the Modbus monitor's worker, modbus_monitor.h) that
// the paint only reads, its frames placed by absolute place so that they
// hold across the capture's wrap; each bad frame's records of its stream
// are coloured whole, as Find finds it (find_frame_bad). A decode older
// than the records painted leaves uncoloured each stream's last frame in
// it when that stream's bytes came on after it (the frame may have been
// seen while its bytes were still coming), until a decode that saw them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "app/byte_sink.h"
#include "app/capture.h"
#include "find/find_query.h"

struct AnsiCodec;  // codec/convert.h

constexpr int kHighlightRules = 32;
constexpr int kHighlightPatternUnits = 600;  // a pattern as written, in units
constexpr int kHighlightLineMax = 700;       // units of a line before its line end
constexpr int kHighlightProblems = 16;       // problems kept with their line numbers

struct HighlightRule {
  uint32_t rgb;        // 0xRRGGBB
  int32_t enabled;     // 1 on, 0 off
  uint8_t form;        // 'S', 'H', 'T', 't', 'F', 'Q' or 'E'
  uint8_t channel;     // 0 either, 1 or 2
  uint8_t direction;   // 0 either, 1 received, 2 sent
  int32_t text_n;      // the pattern as written
  char16_t text[kHighlightPatternUnits];
  FindQuery query;     // what it finds (streams, pattern, silence or event)
};

enum HighlightReason {
  kHighlightLineTooLong = 1,  // more than kHighlightLineMax units
  kHighlightFields,           // fewer than 5 fields
  kHighlightBadColour,        // not six hex digits
  kHighlightBadForm,          // not one of S H T t F Q E
  kHighlightBadChannel,       // not *, 1 or 2
  kHighlightBadDirection,     // not *, RX or TX
  kHighlightBadPattern,       // a byte pattern Find cannot read (see fault)
  kHighlightBadSilence,       // not whole milliseconds 1 .. 99,999,999
  kHighlightBadEvent,         // no line event Find finds by that name
  kHighlightTooMany,          // past kHighlightRules rules
};

struct HighlightProblem {
  int32_t line;    // 1-based
  int32_t reason;  // a HighlightReason
  FindPatternResult bad;  // kHighlightBadPattern: Find's fault and where
};

constexpr int kHighlightKeptLines = 1024;   // lines kept as read
constexpr int kHighlightKeptUnits = 32768;  // their units, all together

struct HighlightKept {
  int32_t before;  // the rules read before the line: it is written before rule `before`
  int32_t at, n;   // its units in kept_text
};

struct HighlightRules {
  int32_t count;
  HighlightRule rules[kHighlightRules];
  int32_t problem_count;  // all problems found; the first kHighlightProblems are kept
  HighlightProblem problems[kHighlightProblems];
  int32_t kept_count;     // lines that are no rule, in file order
  int32_t kept_units;
  int32_t kept_lost;      // 1 when some did not fit: writing back would lose them
  HighlightKept kept[kHighlightKeptLines];
  char16_t kept_text[kHighlightKeptUnits];
};

enum HighlightFileResult {
  kHighlightFileOk = 0,
  kHighlightFileNotUtf16 = 1,  // empty, or no FF FE at the start: nothing is read
};

// Reads a whole file of `size` bytes into `out` (cleared first). `codec`:
// the ANSI code page text patterns are written in.
int highlight_parse(const uint8_t* bytes, size_t size, const AnsiCodec* codec, HighlightRules* out);

// A rule from its fields (as a line holds them, or an editor shows them).
// Returns 0 with *rule filled (on), or the HighlightReason of the first field
// that cannot be taken (*bad Find's fault for a bad pattern).
int highlight_rule_from_fields(uint32_t rgb, int form, int channel, int direction, const char16_t* pattern, int n,
                               const AnsiCodec* codec, HighlightRule* rule, FindPatternResult* bad);

// A colour field as written, six hex digits RRGGBB: its value, or -1.
int64_t highlight_colour_read(const char16_t* units, int n);

// One rule as a line without its line end; returns its units.
constexpr int kHighlightLineUnits = 5 + 7 + 2 + 2 + 3 + kHighlightPatternUnits;
int highlight_line(const HighlightRule* rule, char16_t out[kHighlightLineUnits]);

// Writes the byte-order mark and every rule, one line each, with the lines
// kept as read in their places. Returns 0, or 1 when the sink refused bytes.
// The caller does not write rules whose kept_lost is set.
int highlight_write(const HighlightRules* rules, const ByteSink* sink);

// The text colour (0xRRGGBB, black or white) that stays legible on `rgb`:
// black on a light colour, white on a dark one, by the colour's luma.
uint32_t highlight_text_rgb(uint32_t rgb);

// The longest byte pattern of the rules that are on (0: none).
int32_t highlight_longest(const HighlightRules* rules);

// Where a paint's colouring must begin for records from `first` on to be
// coloured as Find would colour them: far enough back that every stream
// with a record in first .. count - 1 has its `longest` - 1 bytes before
// `first` (a match may begin there), however many records of other streams
// lie between, and at the start of the chunk before the one at `first` (a
// silence is measured from it). With `lead` (the code page's lead bytes as
// FindPattern::lead holds them, highlight_lead; null: none to mind), each
// stream read from there begins on a character, as Find's reading of it
// is: back past the lead bytes' values right before it to a byte that
// ends a character (no lead byte's value) or the stream's start; a run
// that begins past the look-back is counted whole and the start put on a
// byte of it an even number of bytes from its first. With `before` (the
// window of a recording these records were read on from, HighlightWork::
// before), a stream whose bytes there end mid-character and whose walk back
// reaches these records' start makes the start record 0 (the colouring
// then reads on from `before`, which knows where its characters begin).
// Never more than kHighlightLookBack records back: far more than a screen. A
// match whose first and last records lie farther apart than that (other
// streams' traffic between) is left uncoloured by highlight_mark, as some
// paints of its records could not see it whole: no match is coloured in part.
constexpr int32_t kHighlightLookBack = 65536;
// How far a paint reads across a recording window's edge, either way: a
// byte match the edge cuts is coloured (in both windows) when its first
// record lies at most this many records before the edge and its last fewer
// than this many after it; one whose parts lie farther from the edge is
// coloured in neither (Find still finds it). A quiet stream near the edge
// costs a paint no more than this.
constexpr int32_t kHighlightEdgeReach = 4096;
int32_t highlight_window_start(const CaptureRecord* records, int32_t count, int32_t first, int32_t longest,
                               const uint8_t* lead = nullptr, const CaptureSnapshot* before = nullptr);

// The lead bytes the look-back minds (FindPattern::lead of a rule on that
// folds case in a code page with double-byte characters), or null.
const uint8_t* highlight_lead(const HighlightRules* rules);

// Where a paint of records first .. last - 1 scrolled back must end its
// colouring for a match begun there to be seen to end: past `last` until
// every stream with a record in first .. last - 1 has `longest` - 1 bytes
// more, at most kHighlightLookBack records, never past `count`.
int32_t highlight_window_end(const CaptureRecord* records, int32_t count, int32_t first, int32_t last,
                             int32_t longest);

// Which rule colours each record of a stretch: rule[i] for record lo + i,
// 0 none or r + 1 for rule r. Below `first` only what finds reaching
// `first` or past it cover is marked (the rest was painted before).
// `matches` counts each rule's finds with a record in first ..
// work->shown_hi - 1 (all from `first` on when shown_hi is 0).
constexpr int32_t kHighlightMarks = 32768 + 2 * kHighlightLookBack;
// Finds taken a listful at a time: a screen's cells (kViewMapCells) in one.
// Reading on into the next window takes them all at once: at most one a
// rule for each of its records.
constexpr int32_t kHighlightFinds = 32768;
static_assert(kHighlightLookBack >= kHighlightFinds, "the read on's list holds a listful");
struct HighlightMarks {
  int32_t lo, hi;
  int32_t matches[kHighlightRules];
  int32_t any_before;  // some record below `first` is coloured
  uint8_t rule[kHighlightMarks];
};

// What one colouring needs beside the marks, held by the caller (large:
// Find's pass and its list of finds, the stretch as Find takes it).
struct HighlightWork {
  int32_t shown_hi;  // the end of what is on the screen, for `matches`; 0: the stretch's end
  FindPass pass;
  FindFound finds[kHighlightLookBack];
  CaptureSnapshot stretch;
  // The decode the F rules colour by (highlight_frames_use): frames sorted
  // by first record, its record 0 at absolute place frames_base; none
  // while frame_count is 0.
  const ModbusFrame* frames = nullptr;
  int32_t frame_count = 0;
  int64_t frames_base = 0;
  int64_t frames_end = 0;  // the absolute place after the decode's last record
  int32_t frames_trail = 0;  // records of the window after the decode read
  int32_t frames_lead = 0;   // and of the window before
  int32_t frames_line_monitor = 0;
  // What came right before the records coloured, when they are a window of
  // a recording read on from the one before (null, or no records: none):
  // that window, whose last records Find's pass reads first when the
  // colouring starts at record 0, as Find reads the recording on across its
  // windows: from where each stream has the longest pattern's bytes less
  // one before the edge, the chunk before the edge begins and every stream
  // begins on a character (a run of lead bytes' values counted within it).
  const CaptureSnapshot* before = nullptr;
  CaptureSnapshot head;  // `before` as Find takes it
  // What comes right after, when the records coloured end a window of a
  // recording that another follows (null, or no records: none): the next
  // window, whose first kHighlightLookBack records Find's pass reads on
  // into, so that a byte match the edge cuts is coloured here too (its
  // records in this window; the next window's paint, reading `before`,
  // colours the rest).
  const CaptureSnapshot* after = nullptr;
  CaptureSnapshot tail;  // `after` as Find takes it
  // 1 when no record will ever come after the last one coloured (the end of
  // a recording's window): the events after it are the stretch's own, as
  // Find reads them (an event marks the chunk it follows; it breaks a
  // match the edge cuts).
  int32_t complete = 0;
  // When the window after this one, read ahead, is the recording's last:
  // its records (a decode that read them all saw to the recording's end,
  // and no stream's last frame is left open by the edge). -1: not known.
  int32_t after_last = -1;
  // When the records coloured are a window of a recording, which of its
  // edges another window lies beyond (kHighlightWindowBefore, ...After):
  // there a stream's first or last frame of the decode may be one the edge
  // cut, or a request whose answer is told beyond it, and is coloured by
  // no paint of this window. The decode reads the records around the
  // window (ModbusMonitorAround: `before`, `after`) so that such frames lie
  // inside it; only those at the ends of what it read are left. 0: a
  // capture, or a recording shown whole.
  int32_t edges = 0;
};
constexpr int32_t kHighlightWindowBefore = 1;
constexpr int32_t kHighlightWindowAfter = 2;

// The F rules colour by the frames of `r` (null, or a result with no decode
// yet: by none). The result is read at each colouring, not copied: it
// stays as it is until the next highlight_frames_use.
void highlight_frames_use(HighlightWork* work, const ModbusMonitorResult* r);

// Colours records lo .. hi - 1 of `records` and `times` (times may be null)
// by the rules that are on, with the capture's events (absolute places,
// record 0 at `base`, in place order) and the channels' lines for the
// silences. `first` (lo <= first <= hi) is the first record the paint draws.
// hi - lo above kHighlightMarks keeps the last kHighlightMarks records.
void highlight_mark(const HighlightRules* rules, const CaptureRecord* records, const int64_t* times, int32_t lo,
                    int32_t first, int32_t hi, const LineEvent* events, int32_t event_count, int64_t base,
                    const LineShape shape[2], HighlightWork* work, HighlightMarks* out);

// The rule colouring record `index` (0: none, r + 1: rule r).
inline int highlight_rule_at(const HighlightMarks& m, int32_t index) {
  return index >= m.lo && index < m.hi ? m.rule[index - m.lo] : 0;
}

// 1 when a byte rule's pattern lies in bytes[0 .. n - 1] (a sample typed to
// try it), 0 when not, -1 when the rule is no byte pattern.
int highlight_sample_matches(const HighlightRule* rule, const uint8_t* bytes, int n);
