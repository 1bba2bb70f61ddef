// Serial ports on pseudo-terminals: 8N1 at the rate, reads bounded by arrival and capacity.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>

#include <array>
#include <string>

#include "platform/clock.h"
#include "platform/pseudo_terminal.h"
#include "platform/serial_port.h"
#include "platform/serial_port_probe.h"

namespace tessaline::platform {
namespace {

using testing::PseudoTerminal;

TEST(SerialPort, OpenFailsForMissingDevicesAndNonTerminals) {
  SerialPort port;
  EXPECT_FALSE(port.Open("/dev/tessaline-no-such-port"));
  EXPECT_FALSE(port.Open("/dev/null"));
  EXPECT_FALSE(port.IsOpen());
}

TEST(SerialPort, ConfiguresRawEightNOneAtTheRate) {
  struct Case {
    std::uint32_t rate;
    speed_t speed;
  };
  const Case cases[] = {{4800, B4800},   {9600, B9600},   {19200, B19200},
                        {38400, B38400}, {57600, B57600}, {115200, B115200}};
  for (const Case& c : cases) {
    PseudoTerminal pty;
    termios before{};
    ASSERT_EQ(tcgetattr(pty.Slave(), &before), 0);
    before.c_cflag |= PARENB | CSTOPB | CRTSCTS;
    ASSERT_EQ(tcsetattr(pty.Slave(), TCSANOW, &before), 0);

    SerialPort port;
    ASSERT_TRUE(port.Open(pty.Path()));
    ASSERT_TRUE(port.Configure(c.rate)) << c.rate;
    termios after{};
    ASSERT_EQ(tcgetattr(pty.Slave(), &after), 0);
    EXPECT_EQ(cfgetospeed(&after), c.speed) << c.rate;
    EXPECT_EQ(cfgetispeed(&after), c.speed) << c.rate;
    EXPECT_EQ(after.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(after.c_cflag & (PARENB | CSTOPB), 0u);
    EXPECT_EQ(after.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(after.c_iflag & (ICRNL | IXON), 0u);
    EXPECT_NE(after.c_cflag & CRTSCTS, 0u) << "hardware flow control is left as it was";
  }
}

// Exclusive mode binds everyone but root, so root tries as "nobody", given the device for the
// test.
bool OpensAsAnotherUser(const PseudoTerminal& pty) {
  constexpr uid_t kNobody = 65534;
  const auto tryOpen = [&] {
    const int fd = open(pty.Path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) close(fd);
    return fd >= 0;
  };
  if (getuid() != 0) return tryOpen();
  if (fchown(pty.Slave(), kNobody, static_cast<gid_t>(-1)) != 0) return false;
  const pid_t child = fork();
  if (child == 0) _exit(setgid(kNobody) == 0 && setuid(kNobody) == 0 && tryOpen() ? 0 : 1);
  int status = 0;
  return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
}

bool Exclusive(int fd) {
  int exclusive = 0;
  return ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive != 0;
}

// The device as another program would find it: its exclusive mode and its line settings.
struct DeviceState {
  bool exclusive = false;
  termios settings{};
};

DeviceState StateOf(int fd) {
  DeviceState state;
  state.exclusive = Exclusive(fd);
  tcgetattr(fd, &state.settings);
  return state;
}

TEST(SerialPort, ClosingLeavesTheDeviceAsItWasFound) {
  struct Case {
    const char* label;
    bool exclusiveBefore;  // another program set exclusive mode first
    void (*use)(const std::string& device);
  };
  const Case cases[] = {
      {"doctor's probe", false, [](const std::string& device) { ProbeSerialPort(device); }},
      {"discovery's probe at two rates", false,
       [](const std::string& device) {
         for (const std::uint32_t rate : {4800u, 115200u}) {
           SerialPort port;
           ASSERT_TRUE(port.Open(device));
           ASSERT_TRUE(port.Configure(rate));
         }
       }},
      {"a port moved, then closed", false,
       [](const std::string& device) {
         SerialPort first;
         ASSERT_TRUE(first.Open(device));
         SerialPort second(std::move(first));
         ASSERT_TRUE(second.Configure(57600));
         second.Close();
       }},
      {"exclusive mode set by its holder", true,
       [](const std::string& device) { ProbeSerialPort(device); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    PseudoTerminal pty;  // its open slave is the program that shares the port without a lock
    if (c.exclusiveBefore) {
      ASSERT_EQ(ioctl(pty.Slave(), TIOCEXCL), 0);
    }
    const DeviceState before = StateOf(pty.Slave());
    c.use(pty.Path());
    const DeviceState after = StateOf(pty.Slave());
    EXPECT_EQ(after.exclusive, c.exclusiveBefore);
    EXPECT_EQ(cfgetospeed(&after.settings), cfgetospeed(&before.settings));
    EXPECT_EQ(after.settings.c_lflag, before.settings.c_lflag);
    EXPECT_EQ(after.settings.c_iflag, before.settings.c_iflag);
    EXPECT_EQ(after.settings.c_cflag, before.settings.c_cflag);
    EXPECT_EQ(OpensAsAnotherUser(pty), !c.exclusiveBefore);
  }
}

TEST(SerialPort, ReadReturnsOnceBytesHaveArrived) {
  PseudoTerminal pty;
  SerialPort port;
  ASSERT_TRUE(port.Open(pty.Path()));
  ASSERT_TRUE(port.Configure(115200));
  ASSERT_TRUE(pty.Send(std::string("\x01\x0D\x03\x00\x04", 5)));
  std::array<std::uint8_t, 2038> buffer{};
  const std::uint32_t start = TickCount();
  const std::uint32_t got = port.Read(buffer.data(), buffer.size(), 3000).count;
  const std::uint32_t waited = TicksBetween(start, TickCount());
  ASSERT_EQ(got, 5u);
  EXPECT_EQ(buffer[1], 0x0D);
  EXPECT_EQ(buffer[3], 0x00);
  EXPECT_LT(waited, 1500u) << "the read must not wait for the whole 3000 ms";
}

TEST(SerialPort, ReadStopsAtTheCapacityAndKeepsTheRest) {
  PseudoTerminal pty;
  SerialPort port;
  ASSERT_TRUE(port.Open(pty.Path()));
  ASSERT_TRUE(port.Configure(115200));
  ASSERT_TRUE(pty.Send("abcdefgh"));
  std::array<std::uint8_t, 8> buffer{};
  EXPECT_EQ(port.Read(buffer.data(), 3, 1000).count, 3u);
  EXPECT_EQ(buffer[0], 'a');
  EXPECT_EQ(port.Read(buffer.data(), 8, 1000).count, 5u);
  EXPECT_EQ(buffer[0], 'd');
}

TEST(SerialPortCandidates, FollowTheListInTheEnvironment) {
  struct Case {
    const char* list;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {"/dev/pts/3", {"/dev/pts/3"}},
      {"/tmp/a:/tmp/b::/tmp/c:", {"/tmp/a", "/tmp/b", "/tmp/c"}},
      {"", {}},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(setenv("TESSALINE_SERIAL_PORTS", c.list, 1), 0);
    EXPECT_EQ(SerialPortCandidates(), c.expected) << c.list;
  }
  unsetenv("TESSALINE_SERIAL_PORTS");
}

TEST(SerialPortCandidates, SystemDevicesAreSerialFamiliesInNumericOrder) {
  unsetenv("TESSALINE_SERIAL_PORTS");
  const std::vector<std::string> names = SerialPortCandidates();
  for (const std::string& name : names) {
    EXPECT_TRUE(name.starts_with("/dev/ttyS") || name.starts_with("/dev/ttyUSB") ||
                name.starts_with("/dev/ttyACM"))
        << name;
  }
  const auto position = [&](const std::string& name) {
    return std::find(names.begin(), names.end(), name) - names.begin();
  };
  if (position("/dev/ttyS2") < static_cast<long>(names.size()) &&
      position("/dev/ttyS10") < static_cast<long>(names.size())) {
    EXPECT_LT(position("/dev/ttyS2"), position("/dev/ttyS10"));
  }
}

}  // namespace
}  // namespace tessaline::platform
