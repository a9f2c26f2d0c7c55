#include "app/chrome.h"

#include "settings/message_text.h"
#include "ui/scale.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>

namespace {

std::string part(int n, const StatusInfo& s) {
  char16_t out[64];
  status_part_text(n, &s, out);
  return std::string(out, out + std::char_traits<char16_t>::length(out));
}

TEST(StatusBar, TextsOfEveryPart) {
  PortSettings ch1{3, 9600, 7, 2, 0, 1};
  PortSettings ch2{0, 19200, 8, 0, 0, 0};
  StatusInfo s{{{3, 0}, {1, 0}, 0}, {&ch1, &ch2}, 40, 10, 1000, 600, {}};
  EXPECT_EQ(part(0, s), "CH1");
  EXPECT_EQ(part(1, s), "OPEN");
  EXPECT_EQ(part(2, s), "Com3");
  EXPECT_EQ(part(3, s), "SP=9.6K:DB=7:PB=Evn:SB=0:Flow=Xon");
  EXPECT_EQ(part(4, s), "CH2");
  EXPECT_EQ(part(5, s), "CLOSE");
  EXPECT_EQ(part(6, s), "None");
  EXPECT_EQ(part(7, s), "None");
  EXPECT_EQ(part(8, s), "DrawSize=X40;Y10");
  EXPECT_EQ(part(9, s), "BufferSize=1000/131072");
  EXPECT_EQ(part(10, s), "Scroll=600");
  EXPECT_EQ(part(11, s), "By Tessaly");
  PortSettings odd{5, 19200, 8, 1, 2, 2};
  s.port[0] = &odd;
  EXPECT_EQ(part(3, s), "SP=19.2K:DB=8:PB=Odd:SB=2:Flow=Dtr");
  PortSettings other{5, 115200, 8, 4, 1, 9};
  s.port[0] = &other;
  EXPECT_EQ(part(3, s), "SP=115.2K:DB=8:PB=Non:SB=1:Flow=Non");
  // A network port shows its short address, and the channel's line settings
  // even without a COM number.
  const char16_t net[] = u"rfc:127.0.0.1:4001";
  for (int i = 0; i < 19; i++) s.address[1][i] = net[i];
  EXPECT_EQ(part(6, s), "rfc:127.0.0.1:4001");
  EXPECT_EQ(part(7, s), "SP=19.2K:DB=8:PB=Non:SB=0:Flow=Non");
  // A speed the server set otherwise is the one shown, the one asked beside it.
  s.server_baud[1] = 38400;
  EXPECT_EQ(part(7, s), "SP=38400(asked 19200):DB=8:PB=Non:SB=0:Flow=Non");
}

TEST(StatusBar, ANetworkChannelsPortPartIsWidenedByItsLinePartAndMovesNothingElse) {
  int edges[kStatusParts];
  const int32_t none[2] = {0, 0}, ch2[2] = {0, kStatusNetLine}, raw[2] = {kStatusNetRaw, kStatusNetRaw};
  status_part_edges(none, 96, edges);
  for (int i = 0; i < kStatusParts; i++) EXPECT_EQ(edges[i], kStatusPartEdges[i]);
  status_part_edges(ch2, 96, edges);
  EXPECT_EQ(edges[6] - edges[5], kStatusPartEdges[6] - kStatusPartEdges[5] + kStatusAddressExtraLine);
  EXPECT_EQ(edges[7], kStatusPartEdges[7]);
  status_part_edges(raw, 96, edges);
  EXPECT_EQ(edges[2] - edges[1], kStatusPartEdges[2] - kStatusPartEdges[1] + kStatusAddressExtra);
  EXPECT_EQ(edges[3], kStatusPartEdges[3]);
  EXPECT_EQ(edges[11], kStatusPartEdges[11]);
  // An RFC 2217 link on either channel or both, at 96 and 144 DPI: the
  // parts after its line part stay where COM ports have them.
  for (int32_t dpi : {96, 144}) {
    int seed[kStatusParts], net[kStatusParts];
    status_part_edges(none, dpi, seed);
    for (const auto& kinds : {std::pair<int32_t, int32_t>{kStatusNetLine, 0}, {0, kStatusNetLine}, {kStatusNetLine, kStatusNetLine}}) {
      const int32_t both[2] = {kinds.first, kinds.second};
      status_part_edges(both, dpi, net);
      for (int i : {3, 7, 8, 9, 10, 11}) EXPECT_EQ(net[i], seed[i]) << dpi << " part " << i;
    }
  }
  // A stop's summary takes the bar up to its end; the parts after it keep
  // only what lies beyond.
  status_part_edges(none, 96, edges);
  status_part_widen(8, 1100, edges);
  EXPECT_EQ(edges[8], 1100);
  EXPECT_EQ(edges[9], 1100);
  EXPECT_EQ(edges[10], 1120);
  EXPECT_EQ(edges[7], kStatusPartEdges[7]);
}

TEST(StatusBar, ALinkWithoutLineSettingsSaysWhatItHasInsteadOfASpeed) {
  PortSettings port{0, 19200, 8, 0, 0, 0};
  StatusInfo s{{{1, 0}, {0, 0}, 0}, {&port, &port}, 40, 10, 0, 0, {}};
  const char16_t address[] = u"listen:0.0.0.0:4001";
  for (int i = 0; i < 20; i++) s.address[0][i] = address[i];
  s.raw[0] = kStatusLinkListen;
  EXPECT_EQ(part(2, s), "listen:0.0.0.0:4001");
  EXPECT_EQ(part(3, s), "");  // no "SP=19.2K..." for a link that has no speed
  EXPECT_EQ(status_link_text(&s, 0), kTextStatusNoClient);
  s.peer[0][0] = u'1';
  EXPECT_EQ(status_link_text(&s, 0), kTextStatusClient);
  s.raw[0] = kStatusLinkSocket;
  s.peer[0][0] = 0;
  EXPECT_EQ(status_link_text(&s, 0), kTextStatusRawTcp);
  s.raw[0] = 0;  // rfc2217: the line settings the server was asked for
  EXPECT_EQ(status_link_text(&s, 0), 0);
  EXPECT_EQ(part(3, s), "SP=19.2K:DB=8:PB=Non:SB=0:Flow=Non");
  EXPECT_EQ(status_link_text(&s, 1), 0);  // CH2 has no address
}

TEST(StatusBar, PartEdgesScaleWithTheDisplay) {
  const int32_t none[2] = {0, 0}, ch1[2] = {kStatusNetRaw, 0};
  for (int32_t dpi : {96, 120, 144, 192}) {
    int edges[kStatusParts], net[kStatusParts];
    status_part_edges(none, dpi, edges);
    status_part_edges(ch1, dpi, net);
    for (int i = 0; i < kStatusParts; i++) {
      // Every part keeps its share of the bar, within a pixel of rounding.
      EXPECT_NEAR(edges[i], kStatusPartEdges[i] * dpi / 96.0, 0.5) << dpi << " part " << i;
      if (i > 0) EXPECT_NEAR(edges[i] - edges[i - 1], (kStatusPartEdges[i] - kStatusPartEdges[i - 1]) * dpi / 96.0, 1.0);
    }
    EXPECT_NEAR(net[2] - net[1] - (edges[2] - edges[1]), px(kStatusAddressExtra, dpi), 1);
    EXPECT_EQ(net[11], edges[11]);
  }
}

TEST(StatusBar, BackgroundFollowsOpenChannelsAndLineMonitor) {
  ChannelFlags f{{3, 4}, {0, 0}, 0};
  EXPECT_EQ(status_color_slot(&f), 7);
  f.open[1] = 1;
  EXPECT_EQ(status_color_slot(&f), 8);
  f.open[0] = 1;
  EXPECT_EQ(status_color_slot(&f), 9);
  f.lm_mode = 1;
  EXPECT_EQ(status_color_slot(&f), 10);
}

TEST(Toolbar, ButtonsAndRefreshSets) {
  std::set<int> ids;
  for (const ToolButtonDef& b : kToolbar) ids.insert(b.id);
  EXPECT_EQ(ids.size(), 34u);
  EXPECT_EQ(*ids.begin(), 1101);
  EXPECT_EQ(*ids.rbegin(), 1134);
  EXPECT_EQ(toolbar_tooltip(1134), 212);
  EXPECT_EQ(toolbar_tooltip(1119), 253);
  EXPECT_EQ(toolbar_index_of_command(kCmdRepaint), 7);
  EXPECT_EQ(toolbar_index_of_command(kCmdExit), 33);
  EXPECT_EQ(toolbar_index_of_command(kCmdConfigCh2), 18);

  ChannelFlags closed{{3, 0}, {0, 0}, 0};
  EXPECT_EQ(toolbar_refresh_state(1116, &closed), 1);
  EXPECT_EQ(toolbar_refresh_state(1117, &closed), 0);
  EXPECT_EQ(toolbar_refresh_state(1111, &closed), 0);
  EXPECT_EQ(toolbar_refresh_state(1101, &closed), -1);
  ChannelFlags ch2{{3, 4}, {0, 1}, 0};
  EXPECT_EQ(toolbar_refresh_state(1116, &ch2), 0);
  EXPECT_EQ(toolbar_refresh_state(1127, &ch2), 0);
  EXPECT_EQ(toolbar_refresh_state(1117, &ch2), 1);
  EXPECT_EQ(toolbar_refresh_state(1114, &ch2), 1);
  EXPECT_EQ(toolbar_refresh_state(1118, &ch2), 0);
  EXPECT_EQ(toolbar_refresh_state(1123, &ch2), 1);
  ChannelFlags monitor{{3, 4}, {1, 1}, 1};
  EXPECT_EQ(toolbar_refresh_state(1112, &monitor), 0);
}

TEST(MenuBar, EveryItemHasAToolbarImage) {
  int items = 0;
  for (const MenuDef& m : kMenuBar)
    for (int i = 0; i < m.count; i++) {
      const MenuItemDef& it = m.items[i];
      if (it.id >= kCmdExport) {
        // The timeline's commands came after the toolbar was full: menu only.
        EXPECT_EQ(toolbar_index_of_command(it.id), -1) << it.id;
      } else if (it.id > 0) {
        EXPECT_GE(toolbar_index_of_command(it.id), 0) << it.id;
        items++;
      } else if (it.id == -1) {
        EXPECT_GE(toolbar_index_of_command(it.sub), 0);
        EXPECT_GE(toolbar_index_of_command(it.sub + 1), 0);
        items += 2;
      }
    }
  EXPECT_EQ(items, 34);  // commands 141 to 175; 154 is none
}

TEST(StatusBar, ASpeedTheServerSetOtherwiseIsToldApartFromTheOneAsked) {
  // A device server that reports the speed its UART really makes (9615 for
  // 9600, 115384 for 115200): the status bar must not show the two as one.
  PortSettings asked{0, 9600, 8, 0, 0, 0};
  StatusInfo s{{{1, 0}, {0, 0}, 0}, {&asked, &asked}, 40, 10, 0, 0, {}};
  const char16_t net[] = u"rfc:127.0.0.1:4001";
  for (int i = 0; i < 19; i++) s.address[0][i] = net[i];
  for (uint32_t set : {9615u, 9650u}) {
    s.server_baud[0] = set;
    const std::string text = part(3, s);
    const size_t asked = text.find("asked ");
    ASSERT_NE(asked, std::string::npos) << text;
    const std::string shown_speed = text.substr(3, text.find('(') - 3);
    const std::string asked_speed = text.substr(asked + 6, text.find(')') - asked - 6);
    EXPECT_NE(shown_speed, asked_speed) << text;
  }
}

}  // namespace
