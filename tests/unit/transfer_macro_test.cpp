// The macro's file transfer commands: what they ask of the host, the wait
// while the transfer runs, and the jump to their label when it fails.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "fake_codec.h"
#include "macro/macro.h"
#include "transfer/transfer.h"

namespace {

struct Host {
  struct Start {
    int channel, sending, protocol;
    std::string path;
  };
  std::vector<Start> starts;
  int refuse = 0;
  std::vector<int> polls;  // what poll answers, in turn; the last one stays
  size_t polled = 0;
  AnsiCodec codec = {nullptr, fake_encode};
  MacroHost host = {};

  Host() {
    host.ctx = this;
    host.codec = &codec;
    host.transfer_start = [](void* ctx, int channel, int sending, int protocol, const uint8_t* path, int count) {
      Host* h = static_cast<Host*>(ctx);
      h->starts.push_back({channel, sending, protocol, std::string(path, path + count)});
      return h->refuse;
    };
    host.transfer_poll = [](void* ctx) {
      Host* h = static_cast<Host*>(ctx);
      const int r = h->polls[h->polled < h->polls.size() ? h->polled : h->polls.size() - 1];
      h->polled++;
      return r;
    };
  }
};

void load(MacroState* m, const std::u16string& text) {
  std::vector<uint8_t> bytes = {0xFF, 0xFE};
  for (char16_t c : text) {
    bytes.push_back(static_cast<uint8_t>(c));
    bytes.push_back(static_cast<uint8_t>(c >> 8));
  }
  ASSERT_EQ(macro_load(m, bytes.data(), bytes.size()), kMacroLoadOk);
  macro_start(m, nullptr);
}

// Steps until the macro stops; the outcomes seen.
std::vector<int> run(MacroState* m, Host* h) {
  std::vector<int> seen;
  for (int i = 0; i < 50; i++) {
    const int r = macro_step(m, &h->host);
    seen.push_back(r);
    if (r == kMacroEnded || r == kMacroRanOff || r == kMacroStopped) break;
  }
  return seen;
}

TEST(TransferMacro, CommandsStartTheirTransferAndWaitForIt) {
  const struct {
    const char16_t* line;
    int channel, sending, protocol;
    const char* path;
  } cases[] = {
      {u"XSND Y,ERR,'fw.bin'", 1, 1, kTransferYmodem, "fw.bin"},
      {u"XSD2 K,ERR,'a b.hex'", 2, 1, kTransferXmodem1k, "a b.hex"},
      {u"XRCV X,ERR,'in.bin'", 1, 0, kTransferXmodem, "in.bin"},
      {u"XRC2 R,ERR,'raw'2E'txt'", 2, 0, kTransferRaw, "raw.txt"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.path));
    static MacroState m;
    Host h;
    h.polls = {0, 0, 1};
    load(&m, std::u16string(u"\r\n") + c.line + u"\r\nPEND\r\n:ERR\r\nSEND 'X'\r\n");
    const std::vector<int> seen = run(&m, &h);
    ASSERT_EQ(h.starts.size(), 1u);
    EXPECT_EQ(h.starts[0].channel, c.channel);
    EXPECT_EQ(h.starts[0].sending, c.sending);
    EXPECT_EQ(h.starts[0].protocol, c.protocol);
    EXPECT_EQ(h.starts[0].path, c.path);
    // Waiting while the transfer runs, then on to PEND.
    EXPECT_EQ(std::count(seen.begin(), seen.end(), kMacroWaiting), 2);
    EXPECT_EQ(seen.back(), kMacroEnded);
  }
}

TEST(TransferMacro, AFailedOrRefusedTransferJumpsToItsLabel) {
  static MacroState m;
  for (int refuse : {0, 1}) {
    Host h;
    h.refuse = refuse;
    h.polls = {0, 2};
    load(&m, u"\r\nXSND X,ERR,'fw.bin'\r\nPEND\r\n:ERR\r\nXSND Q,ERR,'fw.bin'\r\n");
    const std::vector<int> seen = run(&m, &h);
    // The jump lands on the line with a protocol no letter names: it stops.
    ASSERT_EQ(seen.back(), kMacroStopped);
    EXPECT_EQ(m.fault.text, kTextMacroBadProtocol);
    EXPECT_EQ(h.starts.size(), 1u);
  }
  // Without a path nothing starts: it fails at once.
  Host h;
  load(&m, u"\r\nXRCV Y,ERR,\r\nPEND\r\n:ERR\r\nXSND Q,ERR,'x'\r\n");
  EXPECT_EQ(run(&m, &h).back(), kMacroStopped);
  EXPECT_TRUE(h.starts.empty());
}

}  // namespace
