#include "settings/message_text.h"

#include <cstdio>
#include <cstring>

#include "app/text16.h"

void message_text_key(int n, int lang, char16_t* out) {
  static const char kLetter[kLanguages] = {'j', 'e', 'k', 'c'};
  char key[32];
  std::snprintf(key, sizeof key, "No.%d:comt-%c", n, kLetter[lang & 3]);
  text16_from_ascii(out, 32, key);
}

void message_table_load(MessageTable* table, const ProfileIo* io) {
  for (int n = 0; n < kMessageTexts; n++)
    for (int lang = 0; lang < kLanguages; lang++) {
      char16_t key[32];
      message_text_key(n, lang, key);
      char16_t* slot = table->text[n][lang];
      slot[0] = 0;
      io->get_text(io->ctx, key, u"", slot, kMessageTextUnits);
      slot[kMessageTextUnits - 1] = 0;
    }
}

void message_text_get(const MessageTable* table, int language, int n, char16_t* out) {
  if (language < 0 || language >= kLanguages || n < 0 || n >= kMessageTexts) return;
  text16_copy(out, kMessageTextUnits, table->text[n][language]);
}

namespace {

struct Fields {
  int n;
  const char* fields;
};

const Fields kFields[] = {
    {kTextRepeatRunning, "lld lld"}, {kTextRepeatEnded, "lld lld"}, {kTextRepeatStatus, "d"},
    {kTextTransferFile, "ls"}, {kTextTransferCounts, "lld lld d d"}, {kTextTransferCountsUnsized, "lld d d"},
    {kTextTransferTimes, "d d d"}, {kTextTransferTimesUnsized, "d d"}, {kTextTransferDone, "d lld"}, {kTextTransferDoneUnanswered, "d lld"},
    {kTextTransferNameRefused, "ls"}, {kTextTransferOpenFailed, "ls"},
    {kTextPortAddressInvalid, "d"}, {kTextNetConnectFailed, "d ls"}, {kTextNetError, "d"},
    {kTextServerNotConfirmed, "ls"}, {kTextServerRefused, "ls"}, {kTextServerSet, "ls"}, {kTextNetUnterminated, "d ls"}, {kTextNetUnterminatedData, "d"}, {kTextFindNoSuchEvent, "ls"}, {kTextPlotNotASize, "ls"}, {kTextPlotPastSeries, "lld"}, {kTextPlotStatus, "d lld"}, {kTextPlotReading, "d"}, {kTextPlotNotAScale, "ls"}, {kTextPlotWriting, "d"}, {kTextPlotWritten, "lld"}, {kTextPlotPastSeriesShort, "lld"}, {kTextFindNotInCodePage, "d"}, {kTextRecordFailed, "d"}, {kTextRecordCannotStart, "d"},
    {kTextTipRecordStopped, "ls ls"}, {kTextNotATime, "ls"}, {kTextRecordSkipped, "lld d"},
    {kTextRecordLogCut, "ls"}, {kTextRecordReadFailed, "d"}, {kTextRecordingPart, "ls ls"},
    {kTextFindNotHex, "d"}, {kTextFindLoneDigit, "d"}, {kTextFindOpenQuote, "d"}, {kTextFindNotByte, "d"},
    {kTextMacroBadOffset, "d d"},   {kTextMacroLineTooLong, "d"},     {kTextEventError, "d d"},
    {kTextNotHexNumber, "ls ls ls ls"}, {kTextFrameTooLong, "d d"},   {kTextFramedTooLong, "d"},
    {kTextSendLimit, "d"},          {kTextEntryFramedTooLong, "d"},   {kTextEntryLimit, "d"},
    {kTextLogShort, "lld d"},       {kTextLogShortLoaded, "d"},       {kTextAdminStartFailed, "ls"},
    {kTextNotNumber, "ls ls ls ls"}, {kTextLogCut, "lld d"},          {kTextLogCutLoaded, "d"},
    {kTextNameTooLongForExtension, "ls"}, {kTextNameTooLong, "d"},    {kTextMacroReadFailed, "d"},
    {kTextCaptureNoMemory, "d"},    {kTextEntryTooLongForLine, "d d"}, {kTextStringsReadStopped, "d lu"},
    {kTextStringsLongLines, "d d d"}, {kTextStringsFullLines, "d d d"}, {kTextModbusTooManyPairs, "d"},
    {kTextModbusTooManyChars, "d"}, {kTextModbusFirstTaken, "d"},     {kTextModbusByteCount, "d"},
    {kTextModbusFrameTooLong, "d d"}, {kTextMacroStoppedAt, "d"},     {kTextMacroBadSlot, "d"},
    {kTextMacroDataTooLong, "d"},   {kTextMacroSlotTooLongToSend, "d d d"}, {kTextMacroSlotTooLong, "d d d"},
    {kTextStatsPrecision, "d"},
    {kTextTipByteOfChunk, "ls ls"},
    {kTextTipByteOfLongRun, "ls ls"},
    {kTextTipTime, "ls ls"},
    {kTextTipSilence, "ls"},
    {kTextTipSilenceDigits, "ls"},
    {kTextTipByte, "ls ls ls"},
    {kTextTipGapMarker, "ls"},
    {kTextTipGapSilence, "ls"},
    {kTextTipGapCounting, "ls"},
    {kTextTipEventOpened, "ls ls"}, {kTextTipEventRefused, "ls ls"}, {kTextStatusClient, "ls"}, {kTextRecordSummary, "ls d ls"}, {kTextSendBusy, "d"},
    {kTextTransferSizeMismatch, "ls lld lld"}, {kTextTransferDoneRenamed, "d lld ls ls"},
    {kTextTransferPathsTooLong, "d"}, {kTextTransferNameTooLong, "ls"},
    {kTextTipEventClosed, "ls ls"},
    {kTextTipEventLost, "ls ls ls"},
    {kTextTipEventGone, "ls ls"},
    {kTextTipEventBack, "ls ls ls"},
    {kTextTipEventSettings, "ls ls ls"},
    {kTextTipEventLoaded, "ls"},
    {kTextTipEventCleared, "ls"},
    {kTextMonitorStatus, "d d"},
    {kTextMonitorStatusLeftOut, "d d d"},
    {kTextMacroTooManySteps, "d"},
    {kTextMacroUncompared, "d"},
    {kTextMacroTooLongToRun, "lld d"},
    {kTextAnswerActive, "d d"},
    {kTextAnswerLinesSkipped, "d"},
    {kTextAnswerLineProblem, "d ls"},
    {kTextAnswerQueueFull, "d"},
    {kTextAnswerUnseen, "d"},
    {kTextAnswerNotSent, "d d"},
    {kTextChannelLost, "d"},
    {kTextFindSearching, "d"}, {kTextFindMatchOf, "d d"}, {kTextFindMatchOfMore, "d d"},
    {kTextFindCancelled, "d"}, {kTextFindFound, "d"}, {kTextFindFoundSince, "d ls"},
    {kTextGoToTimeRange, "ls ls"}, {kTextGoToTimeOutside, "ls ls ls"},
};

}  // namespace

const char* message_fields(int n) {
  for (const Fields& f : kFields)
    if (f.n == n) return f.fields;
  return "";
}

int message_fields_match(const char16_t* text, const char* expected) {
  const char* want = expected;
  for (const char16_t* p = text; *p; p++) {
    if (*p != u'%') continue;
    p++;
    if (*p == u'%') continue;
    while (*p == u'-' || *p == u'+' || *p == u' ' || *p == u'#' || *p == u'0') p++;
    while (*p >= u'0' && *p <= u'9') p++;
    if (*p == u'.') {
      p++;
      while (*p >= u'0' && *p <= u'9') p++;
    }
    char field[4] = {};
    int len = 0;
    while (len < 2 && (*p == u'l' || *p == u'h')) field[len++] = static_cast<char>(*p++);
    if (!((*p >= u'a' && *p <= u'z') || (*p >= u'A' && *p <= u'Z'))) return 0;
    field[len++] = static_cast<char>(*p);
    // The next expected field, up to a blank.
    while (*want == ' ') want++;
    size_t n = std::strcspn(want, " ");
    if (n != static_cast<size_t>(len) || std::strncmp(want, field, n) != 0) return 0;
    want += n;
  }
  while (*want == ' ') want++;
  return *want == 0;
}
