// The main window's command table: menu enabling, refusals, the toolbar
// map, scroll moves and the repaint period.
#include "app/commands.h"

#include <string>

#include <gtest/gtest.h>

#include "app/app_state.h"

namespace {

TEST(MenuEnabling, DependsOnPortsAndOpenChannels) {
  ChannelFlags none{{0, 0}, {0, 0}, 0};
  EXPECT_FALSE(command_menu_enabled(kCmdOpenPorts, &none));
  EXPECT_FALSE(command_menu_enabled(kCmdScrollEnd, &none));
  EXPECT_FALSE(command_menu_enabled(kCmdClosePorts, &none));
  EXPECT_TRUE(command_menu_enabled(kCmdPortNumber, &none));
  EXPECT_TRUE(command_menu_enabled(kCmdSaveLog, &none));

  ChannelFlags closed{{3, 0}, {0, 0}, 0};
  EXPECT_TRUE(command_menu_enabled(kCmdOpenPorts, &closed));
  EXPECT_TRUE(command_menu_enabled(kCmdRepaint, &closed));
  EXPECT_FALSE(command_menu_enabled(kCmdInputSend, &closed));

  ChannelFlags ch2_open{{3, 4}, {0, 1}, 0};
  EXPECT_FALSE(command_menu_enabled(kCmdOpenPorts, &ch2_open));
  EXPECT_TRUE(command_menu_enabled(kCmdClosePorts, &ch2_open));
  EXPECT_FALSE(command_menu_enabled(kCmdPortNumber, &ch2_open));
  EXPECT_FALSE(command_menu_enabled(kCmdEnvironment, &ch2_open));
  EXPECT_TRUE(command_menu_enabled(kCmdInputSend, &ch2_open));
  EXPECT_FALSE(command_menu_enabled(kCmdLineStatusCh1, &ch2_open));
  EXPECT_TRUE(command_menu_enabled(kCmdLineStatusCh2, &ch2_open));
  EXPECT_TRUE(command_menu_enabled(kCmdDcbCh2, &ch2_open));

  ChannelFlags monitor{{3, 4}, {1, 1}, 1};
  for (int id : {kCmdInputSend, kCmdPresetSend, kCmdMacro, kCmdModbus})
    EXPECT_FALSE(command_menu_enabled(id, &monitor)) << id;
  EXPECT_TRUE(command_menu_enabled(kCmdConfigCh1, &monitor));
}

TEST(Commands, ToolbarIdsMapToMenuCommands) {
  EXPECT_EQ(command_from_toolbar(1101), kCmdSaveLog);
  EXPECT_EQ(command_from_toolbar(1103), kCmdRepaint);
  EXPECT_EQ(command_from_toolbar(1113), kCmdMacro);
  EXPECT_EQ(command_from_toolbar(1116), kCmdOpenPorts);
  EXPECT_EQ(command_from_toolbar(1117), kCmdClosePorts);
  EXPECT_EQ(command_from_toolbar(1124), kCmdPresetEditor);
  EXPECT_EQ(command_from_toolbar(1130), kCmdColors);
  EXPECT_EQ(command_from_toolbar(1134), kCmdExit);
  EXPECT_EQ(command_from_toolbar(158), 158);
}

TEST(Commands, ScrollMovesByRowsAndStopsAtTheEnd) {
  EXPECT_EQ(view_scroll_toward_end(0, 2, 40, 1000), 80);
  EXPECT_EQ(view_scroll_toward_end(960, 2, 40, 1000), 1000 / 40 * 40);
  EXPECT_EQ(view_scroll_toward_start(80, 2, 40), 0);
  EXPECT_EQ(view_scroll_toward_start(40, 2, 40), 0);
  EXPECT_EQ(view_scroll_toward_start(400, 3, 40), 280);
  EXPECT_EQ(view_jump_end(40, 1010), 1000);
  EXPECT_EQ(view_jump_end(40, 999), 960);
  EXPECT_EQ(view_scroll_toward_end(0, -5, 40, 1000), 0);
}

TEST(Commands, ManualFollowsTheLanguage) {
  EXPECT_EQ(std::u16string(command_manual_name(0)), u"Quorrin_manual.pdf");
  for (int language : {1, 2, 3, -1, 7}) EXPECT_EQ(std::u16string(command_manual_name(language)), u"Quorrin_manual_en.pdf");
}

TEST(Commands, RepaintPeriodStaysWithinTheDialogRange) {
  EXPECT_EQ(timer_repaint_period(300), 300);
  EXPECT_EQ(timer_repaint_period(0), 100);
  EXPECT_EQ(timer_repaint_period(-5), 100);
  EXPECT_EQ(timer_repaint_period(100000), 1000);
}

TEST(Commands, RefusalsOfCommandsThatCannotRunNow) {
  struct Case { int id; ChannelFlags state; int text, caption; } cases[] = {
      {kCmdInputSend, {{3, 4}, {0, 0}, 0}, 3, kCaptionQuorrin},
      {kCmdPresetSend, {{3, 4}, {0, 0}, 0}, 3, kCaptionQuorrin},
      {kCmdInputSend, {{3, 4}, {0, 1}, 0}, 0, 0},
      // The macro needs CH1; CH2 alone is not enough.
      {kCmdMacro, {{3, 4}, {0, 1}, 0}, 3, kCaptionQuorrin},
      {kCmdMacro, {{3, 4}, {1, 0}, 0}, 0, 0},
      {kCmdPortNumber, {{3, 4}, {0, 1}, 0}, 6, kCaptionText4},
      {kCmdPortNumber, {{3, 4}, {0, 0}, 0}, 0, 0},
      {kCmdDcbCh1, {{3, 4}, {0, 1}, 0}, 7, kCaptionText4},
      {kCmdDcbCh2, {{3, 4}, {0, 1}, 0}, 0, 0},
      {kCmdConfigCh2, {{3, 4}, {1, 0}, 0}, 7, kCaptionText4},
      {kCmdLineStatusCh1, {{3, 4}, {0, 1}, 0}, 3, kCaptionQuorrin},
      {kCmdLineStatusCh2, {{3, 4}, {0, 1}, 0}, 0, 0},
      // Commands without a rule always run.
      {kCmdSaveLog, {{0, 0}, {0, 0}, 0}, 0, 0},
      {kCmdOpenPorts, {{0, 0}, {0, 0}, 0}, 0, 0},
  };
  for (const Case& c : cases) {
    CommandRefusal r = command_refusal(c.id, &c.state);
    EXPECT_EQ(r.text, c.text) << c.id;
    if (c.text) EXPECT_EQ(r.caption, c.caption) << c.id;
  }
}

TEST(Commands, AnEnabledMenuItemIsRefusedOnlyForTheMacroWithoutCh1) {
  // The menu offers the macro with any channel open, but a macro drives
  // CH1: with CH2 alone it is refused. Nothing else the menu offers is.
  for (int id = kCmdSaveLog; id <= kCmdHomePage; id++)
    for (int ports = 0; ports < 4; ports++)
      for (int open = 0; open < 4; open++)
        for (int lm = 0; lm < 2; lm++) {
          ChannelFlags s{{ports & 1 ? 3 : 0, ports & 2 ? 4 : 0}, {open & 1, open >> 1}, lm};
          if (!command_menu_enabled(id, &s) || command_refusal(id, &s).text == 0) continue;
          EXPECT_EQ(id, kCmdMacro);
          EXPECT_EQ(s.open[0], 0);
        }
}

TEST(Commands, ToolsAndChannelsOfTheCommands) {
  EXPECT_EQ(command_tool(kCmdInputSend), kToolInputSend);
  EXPECT_EQ(command_tool(kCmdPresetSend), kToolPresetSend);
  EXPECT_EQ(command_tool(kCmdMacro), kToolMacro);
  EXPECT_EQ(command_tool(kCmdSaveLog), -1);
  EXPECT_EQ(command_channel(kCmdDcbCh1), 0);
  EXPECT_EQ(command_channel(kCmdLineStatusCh2), 1);
  EXPECT_EQ(command_channel(kCmdConfigCh2), 1);
  EXPECT_EQ(command_channel(kCmdModbus), -1);
}

}  // namespace
