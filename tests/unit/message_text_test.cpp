// Message text keys and loading the message text file.
#include "settings/message_text.h"

#include <gtest/gtest.h>

#include <string>

#include "profile_fake.h"

namespace {

// The key of text n in English, as the message file writes it.
std::u16string english_key(int n) {
  std::string key = "No." + std::to_string(n) + ":comt-e";
  return std::u16string(key.begin(), key.end());
}

TEST(MessageText, KeysAndLoading) {
  const int last = kMessageTexts - 1;
  char16_t key[32];
  message_text_key(0, 0, key);
  EXPECT_EQ(std::u16string(key), u"No.0:comt-j");
  message_text_key(299, 3, key);
  EXPECT_EQ(std::u16string(key), u"No.299:comt-c");
  message_text_key(last, 1, key);
  EXPECT_EQ(std::u16string(key), english_key(last));
  FakeProfile file;
  file.values[u"No.5:comt-e"] = u"Clear the capture?";
  file.values[u"No.299:comt-k"] = u"끝";
  file.values[english_key(last)] = u"last";
  file.values[english_key(kMessageTexts)] = u"beyond";
  file.values[u"No.7:comt-j"] = std::u16string(100, u'あ');
  ProfileIo io = file.io();
  static MessageTable table;
  message_table_load(&table, &io);
  char16_t out[kMessageTextUnits] = u"unchanged";
  message_text_get(&table, 1, 5, out);
  EXPECT_EQ(std::u16string(out), u"Clear the capture?");
  message_text_get(&table, 2, 299, out);
  EXPECT_EQ(std::u16string(out), u"끝");
  message_text_get(&table, 1, last, out);
  EXPECT_EQ(std::u16string(out), u"last");
  message_text_get(&table, 0, 7, out);
  EXPECT_EQ(std::u16string(out), std::u16string(63, u'あ'));
  message_text_get(&table, 1, 6, out);
  EXPECT_EQ(std::u16string(out), u"");
  char16_t keep[kMessageTextUnits] = u"keep";
  message_text_get(&table, 4, 5, keep);
  message_text_get(&table, -1, 5, keep);
  message_text_get(&table, 1, kMessageTexts, keep);  // beyond the table: nothing read
  EXPECT_EQ(std::u16string(keep), u"keep");
}

}  // namespace
