// Feeds arbitrary bytes to the answers.txt reader and arbitrary received
// bytes, in pieces of arbitrary sizes, to the matchers of both channels.
// Every rule read must stay within its limits, writing the rules and
// reading them back must give the same rules and the same file again, and
// the matcher must give the same fires however the stream is cut, each one
// a rule that is on, of that channel, whose match ends where it fired.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "macro/auto_answer.h"

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

int vector_write(void* ctx, const uint8_t* bytes, int n) {
  static_cast<std::vector<uint8_t>*>(ctx)->insert(static_cast<std::vector<uint8_t>*>(ctx)->end(), bytes, bytes + n);
  return 0;
}

std::vector<uint8_t> written(const AutoAnswerRules& r) {
  std::vector<uint8_t> out;
  ByteSink sink = {&out, vector_write};
  check(auto_answer_write(&r, &sink) == 0);
  return out;
}

void check_rules(const AutoAnswerRules& r) {
  check(r.count >= 0 && r.count <= kAutoAnswerRules);
  check(r.problem_count >= 0);
  for (int i = 0; i < r.problem_count && i < kAutoAnswerProblems; i++) {
    check(r.problems[i].line >= 1);
    check(r.problems[i].reason >= kAutoAnswerLineTooLong && r.problems[i].reason <= kAutoAnswerTooMany);
  }
  for (int i = 0; i < r.count; i++) {
    const AutoAnswerRule& a = r.rules[i];
    check(a.enabled == 0 || a.enabled == 1);
    check(a.channel == 1 || a.channel == 2);
    check(a.delay_ms >= 0 && a.delay_ms <= kAutoAnswerMostDelayMs);
    check(a.match_length >= 1 && a.match_length <= kAutoAnswerMatchBytes);
    check(a.answer_length >= 1 && a.answer_length <= kAutoAnswerBytes);
  }
}

// Every fire of a stream fed in pieces of `piece` bytes: (position, rule).
std::vector<std::pair<size_t, int>> fires_of(AutoAnswerRules* rules, int channel, const std::vector<uint8_t>& stream,
                                             size_t piece) {
  AutoAnswerMatcher m;
  auto_answer_matcher_begin(&m, channel);
  std::vector<std::pair<size_t, int>> out;
  size_t at = 0;
  while (at < stream.size()) {
    size_t n = stream.size() - at < piece ? stream.size() - at : piece;
    size_t end = at + n;
    while (at < end) {
      AutoAnswerFire fires[3];
      int used = 0;
      int k = auto_answer_feed(&m, rules, stream.data() + at, static_cast<int>(end - at), fires, 3, &used);
      check(used >= 0 && static_cast<size_t>(used) <= end - at);
      check(k >= 0 && k <= 3);
      check(used > 0 || k > 0);
      // Each fire is a rule that is on, of this channel, whose match ends
      // where the fire says, in order.
      int previous_end = 0;
      for (int f = 0; f < k; f++) {
        const AutoAnswerRule& rule = rules->rules[fires[f].rule];
        check(rule.enabled && rule.channel == channel && fires[f].channel == channel);
        check(fires[f].answer == rule.answer && fires[f].answer_length == rule.answer_length);
        check(fires[f].end > previous_end || (f == 0 && fires[f].end >= 1));
        check(fires[f].end <= used);
        previous_end = fires[f].end;
        size_t last = at + static_cast<size_t>(fires[f].end);
        check(last >= static_cast<size_t>(rule.match_length));
        check(std::memcmp(stream.data() + last - rule.match_length, rule.match, rule.match_length) == 0);
        out.push_back({last, fires[f].rule});
      }
      if (k == 3) check(fires[2].end == used);
      at += static_cast<size_t>(used);
    }
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const size_t piece = in.ConsumeIntegralInRange<size_t>(1, 70);
  const size_t file_size = in.ConsumeIntegralInRange<size_t>(0, in.remaining_bytes());
  std::vector<uint8_t> file = in.ConsumeBytes<uint8_t>(file_size);
  if (in.ConsumeBool() && file.size() >= 2) {
    file[0] = 0xFF;
    file[1] = 0xFE;
  }
  const std::vector<uint8_t> stream = in.ConsumeRemainingBytes<uint8_t>();

  std::unique_ptr<AutoAnswerRules> rules(new AutoAnswerRules());
  int result = auto_answer_parse(file.data(), file.size(), rules.get());
  check(result == kAutoAnswerFileOk || result == kAutoAnswerFileNotUtf16);
  check_rules(*rules);

  std::vector<uint8_t> again = written(*rules);
  std::unique_ptr<AutoAnswerRules> back(new AutoAnswerRules());
  check(auto_answer_parse(again.data(), again.size(), back.get()) == kAutoAnswerFileOk);
  check(back->count == rules->count && back->problem_count == 0);
  for (int i = 0; i < rules->count; i++) {
    const AutoAnswerRule &a = rules->rules[i], &b = back->rules[i];
    check(a.enabled == b.enabled && a.channel == b.channel && a.delay_ms == b.delay_ms);
    check(a.match_length == b.match_length && std::memcmp(a.match, b.match, a.match_length) == 0);
    check(a.answer_length == b.answer_length && std::memcmp(a.answer, b.answer, a.answer_length) == 0);
  }
  check(written(*back) == again);

  for (int channel = 1; channel <= 2; channel++) {
    auto whole = fires_of(rules.get(), channel, stream, stream.size() + 1);
    auto cut = fires_of(rules.get(), channel, stream, piece);
    check(whole == cut);
  }
  return 0;
}
