// Line parameters: the DCB a port gets, what it reads back as, and how
// long a write may take.
#include "serial/line_params.h"

#include <gtest/gtest.h>

namespace {

LineDcb reported_with_every_flag() {
  LineDcb d{};
  d.flags = kDcbOutxDsrFlow | kDcbDsrSensitivity | kDcbTxContinueOnXoff | kDcbErrorChar | kDcbNull |
            kDcbAbortOnError | kDcbParity | kDcbOutX | kDcbInX | kDcbOutxCtsFlow | 2u << kDcbDtrShift |
            1u << kDcbRtsShift | 5u << kDcbReservedShift;
  return d;
}

int has(const LineDcb& d, uint32_t bit) { return (d.flags & bit) ? 1 : 0; }

TEST(LineDcb, FlowTableAndFixedFields) {
  struct Case { int flow; int cts, outx, inx; uint32_t rts; } cases[] = {
      {0, 0, 0, 0, kRtsControlDisable}, {1, 0, 1, 1, kRtsControlDisable}, {2, 1, 0, 0, kRtsControlHandshake},
      {7, 1, 1, 1, 1}};  // unknown flow: as the port reported
  for (const Case& c : cases) {
    LineDcb d = reported_with_every_flag();
    PortSettings p{3, 9600, 7, 2, 0, c.flow};
    line_dcb_apply(&d, &p);
    EXPECT_EQ(d.baud_rate, 9600u);
    EXPECT_EQ(d.byte_size, 7);
    EXPECT_EQ(d.parity, 2);
    EXPECT_EQ(d.stop_bits, 0);
    EXPECT_EQ(has(d, kDcbBinary), 1);
    EXPECT_EQ(has(d, kDcbParity), 0);
    EXPECT_EQ(has(d, kDcbOutxCtsFlow), c.cts) << c.flow;
    EXPECT_EQ(has(d, kDcbOutX), c.outx) << c.flow;
    EXPECT_EQ(has(d, kDcbInX), c.inx) << c.flow;
    EXPECT_EQ(line_rts_control(&d), c.rts) << c.flow;
    EXPECT_EQ(line_dtr_control(&d), kDtrControlEnable);
    EXPECT_EQ(d.flags & (kDcbOutxDsrFlow | kDcbDsrSensitivity | kDcbTxContinueOnXoff | kDcbErrorChar | kDcbNull |
                         kDcbAbortOnError),
              0u);
    EXPECT_EQ(d.flags >> kDcbReservedShift, 0u);  // the reserved bits are cleared
    EXPECT_EQ(d.xon_lim, 2048);
    EXPECT_EQ(d.xoff_lim, 512);
    EXPECT_EQ(d.xon_char, 0x11);
    EXPECT_EQ(d.xoff_char, 0x13);
    EXPECT_EQ(d.evt_char, 0x0D);
    EXPECT_EQ(d.error_char | d.eof_char, 0);
  }
}

TEST(LineDcb, AReopenAppliesTheUsersDtrAndRtsInTheDcbButLeavesHandshakesAlone) {
  struct Case { uint32_t dtr_in, rts_in; int32_t dtr_state, rts_state; uint32_t dtr_out, rts_out; } cases[] = {
      {1, 1, 2, 2, 0, 0},  // both cleared by the user: never raised on the way
      {0, 0, 1, 1, 1, 1},  {1, 1, 0, 0, 1, 1},  // 0: as the DCB says
      {2, 2, 2, 2, 2, 2},  // handshake lines stay the handshake's
      {1, 3, 2, 2, 0, 3},  // RTS toggling too
  };
  for (const Case& c : cases) {
    LineDcb d = reported_with_every_flag();
    d.flags = (d.flags & ~(kDcbDtrMask | kDcbRtsMask)) | c.dtr_in << kDcbDtrShift | c.rts_in << kDcbRtsShift;
    const uint32_t others = d.flags & ~(kDcbDtrMask | kDcbRtsMask);
    line_dcb_hold_lines(&d, c.dtr_state, c.rts_state);
    EXPECT_EQ(line_dtr_control(&d), c.dtr_out) << c.dtr_in << " " << c.dtr_state;
    EXPECT_EQ(line_rts_control(&d), c.rts_out) << c.rts_in << " " << c.rts_state;
    EXPECT_EQ(d.flags & ~(kDcbDtrMask | kDcbRtsMask), others);
  }
}

TEST(LineDcb, ReadBackGivesTheFlowThatMadeIt) {
  for (int flow = 0; flow <= 2; flow++) {
    LineDcb d{};
    PortSettings p{3, 115200, 8, 1, 2, flow};
    line_dcb_apply(&d, &p);
    PortSettings back{3, 0, 0, 0, 0, -1};
    line_dcb_read_back(&d, &back);
    EXPECT_EQ(back.rs_flow, flow);
    EXPECT_EQ(back.rs_speed, 115200);
    EXPECT_EQ(back.rs_pybit, 1);
    EXPECT_EQ(back.rs_spbit, 2);
  }
  LineDcb rts_on{};
  rts_on.flags = 1u << kDcbRtsShift;  // RTS held on is no flow control
  PortSettings back{};
  line_dcb_read_back(&rts_on, &back);
  EXPECT_EQ(back.rs_flow, 0);
  LineDcb cts_only{};
  cts_only.flags = kDcbOutxCtsFlow;
  line_dcb_read_back(&cts_only, &back);
  EXPECT_EQ(back.rs_flow, 2);
  LineDcb only_out{};
  only_out.flags = kDcbOutX;
  line_dcb_read_back(&only_out, &back);
  EXPECT_EQ(back.rs_flow, 1);
}

TEST(LineWrite, LimitFollowsTheLineAndThePortsTimeoutsWithAFloor) {
  // Short writes on a fast line, and writes on a port without write
  // time-outs, get the floor: a held line fails them in bounded time.
  EXPECT_EQ(line_write_limit_ms(115200, 10, 0, 0), kWriteWaitFloorMs);
  EXPECT_EQ(line_write_limit_ms(9600, 258, 0, 0), kWriteWaitFloorMs);
  // 258 bytes at 300 baud take 9460 ms on the line: the wait allows twice that.
  EXPECT_EQ(line_write_limit_ms(300, 258, 0, 0), 2 * 9460u + kWriteWaitMarginMs);
  // The port's own time-outs (10 ms a byte + 1000 ms) win where longer.
  EXPECT_EQ(line_write_limit_ms(115200, 258, 10, 1000), 2580u + 1000u + kWriteWaitMarginMs);
  // Nonsense rates and counts stay finite and at least the floor.
  EXPECT_GE(line_write_limit_ms(0, 258, 0, 0), kWriteWaitFloorMs);
  EXPECT_EQ(line_write_limit_ms(9600, -5, 0, 0), kWriteWaitFloorMs);
  EXPECT_EQ(line_write_limit_ms(9600, 1, 0xFFFFFFFFu, 0xFFFFFFFFu), 0xFFFFFFFFu);
}

}  // namespace
