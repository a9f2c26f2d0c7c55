// The Telnet and COM Port Control codec against a real device server on
// loopback: ser2net serves one end of a socat pty pair over RFC 2217, the
// test talks to it through net/telnet.* over a TCP socket and plays the
// device on the pty's other end. scripts/setup.sh installs both tools.
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "net/telnet.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

// A child process, ended when the test ends however it ends.
struct Child {
  pid_t pid = -1;
  ~Child() {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
  }
};

// Starts argv[0] from PATH with its output thrown away.
int spawn(Child* child, const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t quiet;
  posix_spawn_file_actions_init(&quiet);
  posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
  const int rc = posix_spawnp(&child->pid, args[0], &quiet, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&quiet);
  return rc;
}

int wait_until(int ms, auto ready) {
  const auto end = Clock::now() + std::chrono::milliseconds(ms);
  while (Clock::now() < end) {
    if (ready()) return 1;
    usleep(20'000);
  }
  return ready();
}

// A port nobody listens on now: the kernel's choice for a socket bound to 0.
int free_port() {
  int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a = {};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t n = sizeof a;
  bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
  getsockname(s, reinterpret_cast<sockaddr*>(&a), &n);
  close(s);
  return ntohs(a.sin_port);
}

struct Ser2netFixture : ::testing::Test {
  std::string dir, dev, peer;
  Child socat, server;
  int peer_fd = -1, sock = -1;
  TelnetSession s;
  std::vector<uint8_t> data;
  std::vector<TelnetEvent> events;

  void SetUp() override {
    char tmpl[] = "/tmp/quorrin-ser2net-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
    dev = dir + "/dev";
    peer = dir + "/peer";
    ASSERT_EQ(spawn(&socat, {"socat", "pty,raw,echo=0,link=" + dev, "pty,raw,echo=0,link=" + peer}), 0)
        << "socat is missing: scripts/setup.sh installs it";
    ASSERT_TRUE(wait_until(5000, [&] { return access(dev.c_str(), F_OK) == 0 && access(peer.c_str(), F_OK) == 0; }));
    peer_fd = open(peer.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(peer_fd, 0);
    termios t = {};
    tcgetattr(peer_fd, &t);
    cfmakeraw(&t);
    tcsetattr(peer_fd, TCSANOW, &t);
    const int port = free_port();
    ASSERT_EQ(spawn(&server, {"ser2net", "-n", "-u", "-Y", "connection: &c1",
                              "-Y", "  accepter: telnet(rfc2217),tcp,127.0.0.1," + std::to_string(port),
                              "-Y", "  connector: serialdev," + dev + ",9600n81,local"}),
              0)
        << "ser2net is missing: scripts/setup.sh installs it";
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port));
    ASSERT_TRUE(wait_until(5000, [&] {
      if (sock >= 0) close(sock);
      sock = socket(AF_INET, SOCK_STREAM, 0);
      return connect(sock, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    })) << "ser2net did not listen on " << port;
    telnet_init(&s);
    uint8_t start[kTelnetStartBytes];
    const int n = telnet_start(&s, start, sizeof start);
    ASSERT_EQ(send(sock, start, static_cast<size_t>(n), 0), n);
  }
  void TearDown() override {
    if (sock >= 0) close(sock);
    if (peer_fd >= 0) close(peer_fd);
    unlink(dev.c_str());
    unlink(peer.c_str());
    rmdir(dir.c_str());
  }

  void send_all(const uint8_t* p, int n) {
    while (n > 0) {
      const ssize_t k = send(sock, p, static_cast<size_t>(n), 0);
      ASSERT_GT(k, 0);
      p += k;
      n -= static_cast<int>(k);
    }
  }

  // Reads and decodes what the server sends, answering its negotiation,
  // until ready() holds or `ms` have passed.
  int pump(int ms, auto ready) {
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (!ready() && Clock::now() < end) {
      pollfd p = {sock, POLLIN, 0};
      if (poll(&p, 1, 20) <= 0) continue;
      uint8_t in[512];
      const ssize_t got = recv(sock, in, sizeof in, 0);
      if (got <= 0) return 0;
      int done = 0;
      while (done < got) {
        uint8_t out[512], reply[64];
        TelnetEvent ev[16];
        TelnetIo io = {out, sizeof out, 0, reply, sizeof reply, 0, ev, 16, 0};
        done += telnet_decode(&s, in + done, static_cast<int>(got) - done, &io);
        data.insert(data.end(), out, out + io.data_n);
        events.insert(events.end(), ev, ev + io.event_n);
        send_all(reply, io.reply_n);
      }
    }
    return ready();
  }

  std::vector<uint8_t> peer_read(size_t count, int ms) {
    std::vector<uint8_t> got;
    wait_until(ms, [&] {
      uint8_t b[512];
      const ssize_t k = read(peer_fd, b, sizeof b);
      if (k > 0) got.insert(got.end(), b, b + k);
      return got.size() >= count;
    });
    return got;
  }
};

TEST_F(Ser2netFixture, SpeedReachesThePtyAndEveryByteValuePassesBothWays) {
  ASSERT_TRUE(pump(5000, [&] { return telnet_enabled(&s, kSlotComPort, kSideUs) != 0; }))
      << "ser2net did not take COM-PORT-OPTION";
  EXPECT_TRUE(telnet_enabled(&s, kSlotBinary, kSideUs));
  EXPECT_TRUE(telnet_enabled(&s, kSlotBinary, kSideHim));
  for (const TelnetEvent& e : events) EXPECT_NE(e.kind, kTelnetRefused) << static_cast<int>(e.code);

  // 19,200 baud, 7 data bits, even parity, two stop bits.
  LineDcb line = {};
  line.baud_rate = 19200;
  line.byte_size = 7;
  line.parity = 2;
  line.stop_bits = 2;
  uint8_t request[kRfc2217LineBytes];
  const int n = rfc2217_request_line(&s, &line, request, sizeof request);
  ASSERT_GT(n, 0);
  send_all(request, n);
  ASSERT_TRUE(pump(5000, [&] {
    for (int k : {kRfcBaud, kRfcDataSize, kRfcParity, kRfcStopSize})
      if (s.setting[k].status == kRfcWaiting) return false;
    return true;
  })) << "ser2net did not answer every line setting";
  EXPECT_EQ(s.setting[kRfcBaud].status, kRfcConfirmed);
  EXPECT_EQ(s.setting[kRfcBaud].answered, 19200u);
  EXPECT_EQ(s.setting[kRfcDataSize].answered, 7u);
  EXPECT_EQ(s.setting[kRfcParity].answered, 3u);  // even
  EXPECT_EQ(s.setting[kRfcStopSize].answered, 2u);
  // The speed is on the pty ser2net holds open (a pty keeps no data bits
  // or parity of its own to read back).
  const int dev_fd = open(dev.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(dev_fd, 0);
  termios t = {};
  ASSERT_EQ(tcgetattr(dev_fd, &t), 0);
  EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B19200));
  close(dev_fd);

  // Every byte value from the client to the device, 0xFF doubled on the way.
  std::vector<uint8_t> all(256);
  for (int i = 0; i < 256; i++) all[static_cast<size_t>(i)] = static_cast<uint8_t>(i);
  int sent = 0;
  while (sent < 256) {
    uint8_t out[64];
    int consumed = 0;
    const int k = telnet_escape(all.data() + sent, 256 - sent, out, sizeof out, &consumed);
    send_all(out, k);
    sent += consumed;
  }
  EXPECT_EQ(peer_read(256, 5000), all);
  // And back from the device: ser2net doubles 0xFF, the decoder undoes it.
  ASSERT_EQ(write(peer_fd, all.data(), all.size()), 256);
  data.clear();
  ASSERT_TRUE(pump(5000, [&] { return data.size() >= 256; })) << data.size() << " bytes came";
  EXPECT_EQ(data, all);
}

}  // namespace
