#include "timeline/events_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "timeline/export.h"

namespace {

std::vector<uint8_t> encode(const std::vector<LineEvent>& events, int64_t records, uint64_t check) {
  std::vector<uint8_t> out(kEventsHeaderBytes + events.size() * kEventsEntryBytes);
  timeline_events_encode(events.data(), static_cast<int32_t>(events.size()), records, check, out.data());
  return out;
}

std::vector<LineEvent> outage() {
  return {{0, 1000, kEventOpened, 1, 5, 0}, {40, 2000, kEventLost, 1, 5, 21}, {40, 5200, kEventBack, 1, 5, 3200},
          {80, kTimeUnknown, kEventClosed, 1, 5, 0}};
}

}  // namespace

TEST(EventsFile, ReadsBackWhatItWroteForItsOwnLogOnly) {
  const std::vector<uint8_t> file = encode(outage(), 80, 77);
  LineEvent got[kCaptureEvents];
  int32_t n = -1;
  ASSERT_EQ(timeline_events_parse(file.data(), file.size(), 80, 77, got, &n), kEventsOk);
  ASSERT_EQ(n, 4);
  EXPECT_EQ(got[1].place, 40);
  EXPECT_EQ(got[1].detail, 21u);
  EXPECT_EQ(got[3].time_us, kTimeUnknown);
  EXPECT_EQ(got[2].port, 5);
  // Another log: of another length, or of the same length with another check.
  EXPECT_EQ(timeline_events_parse(file.data(), file.size(), 81, 77, got, &n), kEventsOtherLog);
  EXPECT_EQ(timeline_events_parse(file.data(), file.size(), 80, 78, got, &n), kEventsOtherLog);
  EXPECT_EQ(n, 0);
  EXPECT_EQ(timeline_events_parse(nullptr, 0, 80, 77, got, &n), kEventsNone);
}

TEST(EventsFile, RefusesWhatIsNotWhole) {
  LineEvent got[kCaptureEvents];
  int32_t n = -1;
  std::vector<uint8_t> file = encode(outage(), 80, 77);
  auto status = [&](const std::vector<uint8_t>& f) {
    return timeline_events_parse(f.data(), f.size(), 80, 77, got, &n);
  };
  std::vector<uint8_t> cut(file.begin(), file.end() - 1);
  EXPECT_EQ(status(cut), kEventsDamaged);
  std::vector<uint8_t> longer = file;
  longer.push_back(0);
  EXPECT_EQ(status(longer), kEventsDamaged);
  std::vector<uint8_t> magic = file;
  magic[6] = '2';  // a later version this one cannot read
  EXPECT_EQ(status(magic), kEventsDamaged);
  std::vector<uint8_t> kind = file;
  kind[kEventsHeaderBytes + kEventsEntryBytes + 16] = kEventRefused + 1;
  EXPECT_EQ(status(kind), kEventsDamaged);
  std::vector<uint8_t> past = encode({{81, 0, kEventClosed, 1, 5, 0}}, 80, 77);  // past the log's end
  EXPECT_EQ(status(past), kEventsDamaged);
  std::vector<uint8_t> back = encode({{40, 0, kEventLost, 1, 5, 21}, {39, 0, kEventBack, 1, 5, 9}}, 80, 77);
  EXPECT_EQ(status(back), kEventsDamaged);
  std::vector<uint8_t> many(kEventsHeaderBytes, 0);
  std::memcpy(many.data(), kEventsMagic, 8);
  many[8] = 80;
  for (int i = 0; i < 8; i++) many[16 + i] = i == 0 ? 77 : 0;
  many[25] = 0x10;  // 4096 events declared
  EXPECT_EQ(status(many), kEventsDamaged);
  EXPECT_EQ(n, 0);
}

TEST(EventsFile, ExportsWriteEachEventBeforeTheChunkItCameBefore) {
  // Two chunks of CH1 ("A" at record 0, "BC" at record 4), the outage between.
  CaptureRecord records[11] = {};
  const uint8_t kinds[11] = {1, 128, 129, 130, 1, 1, 128, 129, 130, 0, 0};
  const char bytes[] = "At00BCt00";
  for (int i = 0; i < 9; i++) records[i] = {kinds[i], 0, static_cast<uint8_t>(bytes[i]), '0', 0, {}};
  records[5].position = 1;
  int64_t times[9] = {1000000, kTimeUnknown, kTimeUnknown, kTimeUnknown, 4500000, 4500000,
                      kTimeUnknown, kTimeUnknown, kTimeUnknown};
  const std::vector<LineEvent> ev = {{100, 0, kEventOpened, 1, 5, 0}, {104, 2000000, kEventLost, 1, 5, 21},
                                     {104, 4000000, kEventBack, 1, 5, 2000}, {109, 5000000, kEventClosed, 1, 5, 0}};
  const TimelineEvents list = {ev.data(), 4, 100};
  std::string out;
  ByteSink sink = {&out, [](void* ctx, const uint8_t* b, int n) {
                     static_cast<std::string*>(ctx)->append(reinterpret_cast<const char*>(b), n);
                     return 0;
                   }};
  ASSERT_EQ(timeline_write_csv(records, times, 9, &sink, &list), 0);
  EXPECT_EQ(out,
            "time_s,delta_s,channel,direction,bytes,hex,text\r\n"
            "-1.000000,,CH1,EV,,,\"opened COM5\"\r\n"
            "0.000000,,CH1,RX,1,41,\"A\"\r\n"
            "1.000000,,CH1,EV,,,\"lost COM5 error 21\"\r\n"
            "3.000000,,CH1,EV,,,\"back COM5 after 2.000 s\"\r\n"
            "3.500000,3.500000,CH1,RX,2,42 43,\"BC\"\r\n"
            "4.000000,,CH1,EV,,,\"closed COM5\"\r\n");
}
