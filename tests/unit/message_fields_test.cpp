// The check that stands between a message text file and the formatter: a
// text is formatted only when its fields are the ones the code passes.
#include <gtest/gtest.h>

#include "settings/message_text.h"

namespace {

TEST(MessageFields, TextsMatchTheFieldsTheCodePasses) {
  EXPECT_TRUE(message_fields_match(u"The capture is unchanged.", ""));
  EXPECT_TRUE(message_fields_match(u"100%% done", ""));
  EXPECT_TRUE(message_fields_match(u"Step:%03d.", "d"));
  EXPECT_TRUE(message_fields_match(u"%ls: \"%ls\" is not a number from %ls to %ls.", "ls ls ls ls"));
  EXPECT_TRUE(message_fields_match(u"ログは%lldレコード、バッファは%dです。", "lld d"));
  EXPECT_TRUE(message_fields_match(u"line %d: error No.%lu.", "d lu"));
  EXPECT_TRUE(message_fields_match(u"slot %-2d of %+5d", "d d"));
}

TEST(MessageFields, AnythingElseIsShownUnformatted) {
  EXPECT_FALSE(message_fields_match(u"Step:%03d.", ""));          // a field the code does not pass
  EXPECT_FALSE(message_fields_match(u"The capture is unchanged.", "d"));  // a field missing
  EXPECT_FALSE(message_fields_match(u"%d and %ls", "ls d"));      // the order swapped
  EXPECT_FALSE(message_fields_match(u"%s", "ls"));                // a narrow string for a wide one
  EXPECT_FALSE(message_fields_match(u"%d", "lld"));               // a 32-bit field for a 64-bit value
  EXPECT_FALSE(message_fields_match(u"written %n", ""));          // no field may write
  EXPECT_FALSE(message_fields_match(u"%*d", "d"));                // no width taken from the arguments
  EXPECT_FALSE(message_fields_match(u"100%", ""));                // a lone % at the end
  EXPECT_FALSE(message_fields_match(u"%d %d %d", "d d"));
}

TEST(MessageFields, EveryNamedTextHasItsFieldList) {
  EXPECT_STREQ(message_fields(kTextLogCut), "lld d");
  EXPECT_STREQ(message_fields(kTextNotNumber), "ls ls ls ls");
  EXPECT_STREQ(message_fields(kTextCaptureUnchanged), "");
  EXPECT_STREQ(message_fields(-1), "");
  EXPECT_STREQ(message_fields(kMessageTexts), "");
}

}  // namespace
