// Serial ports on pseudo-terminals: 8N1 at the rate, reads bounded by arrival and capacity.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <termios.h>

#include <array>
#include <string>

#include "platform/clock.h"
#include "platform/pseudo_terminal.h"
#include "platform/serial_port.h"

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
