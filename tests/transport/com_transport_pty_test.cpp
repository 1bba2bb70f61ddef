// The serial transport and the port scan on pseudo-terminals, the test playing the unit.
#include <gtest/gtest.h>
#include <termios.h>

#include <array>
#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/pseudo_terminal.h"
#include "platform/serial_port.h"
#include "platform/threading.h"
#include "transport/com_port_table.h"
#include "transport/com_transport.h"

namespace tessaline {
namespace {

using testing::PseudoTerminal;

TEST(ComTransport, OpensEightNOneAtItsRate) {
  PseudoTerminal pty;
  COMTransport transport(pty.Path(), 57600);
  EXPECT_FALSE(transport.IsOpen()) << "construction opens nothing";
  ASSERT_TRUE(transport.Open());
  EXPECT_TRUE(transport.IsOpen());
  termios settings{};
  ASSERT_EQ(tcgetattr(pty.Slave(), &settings), 0);
  EXPECT_EQ(cfgetospeed(&settings), static_cast<speed_t>(B57600));
  EXPECT_EQ(settings.c_cflag & (CSIZE | PARENB | CSTOPB), static_cast<tcflag_t>(CS8));
  EXPECT_EQ(transport.GetKind(), "COM");
  EXPECT_EQ(transport.GetEndpoint(), pty.Path());

  // Reopening an open transport replaces its handle.
  ASSERT_TRUE(transport.Open());
  EXPECT_TRUE(transport.Close());
  EXPECT_FALSE(transport.IsOpen());
  EXPECT_TRUE(transport.Close());
}

TEST(ComTransport, PortsThatCannotBeOpenedFailSilently) {
  PseudoTerminal pty;
  COMTransport holder(pty.Path(), kBootloaderBaudRate);
  ASSERT_TRUE(holder.Open());
  const std::vector<std::string> names{pty.Path(), "/dev/tessaline-absent", "/dev/null"};
  for (const std::string& name : names) {
    COMTransport transport(name, kBootloaderBaudRate);
    EXPECT_FALSE(transport.Open()) << name;
    EXPECT_FALSE(transport.IsOpen()) << name;
  }
  // A rate the line cannot take fails the open and leaves no handle.
  holder.Close();
  COMTransport oddRate(pty.Path(), 12345);
  EXPECT_FALSE(oddRate.Open());
  EXPECT_FALSE(oddRate.IsOpen());
}

TEST(ComTransport, ReadReturnsArrivedBytesWithoutWaitingForTheCapacity) {
  PseudoTerminal pty;
  COMTransport transport(pty.Path(), kBootloaderBaudRate);
  ASSERT_TRUE(transport.Open());
  std::array<std::uint8_t, 2038> buffer{};
  const std::string reply("\x01\x81\x00\x00\x00\x07\x10\x04\x42\x04", 10);
  ASSERT_TRUE(pty.Send(reply));
  EXPECT_EQ(transport.Read(buffer.data(), buffer.size()), reply.size());
  EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + 10), reply);

  // A reply that starts during the read is returned once it ends.
  platform::JoinedThread unit([&] {
    platform::SleepMs(30);
    ASSERT_TRUE(pty.Send("<BQ,E/>"));
  });
  const std::uint32_t got = transport.Read(buffer.data(), buffer.size());
  unit.Join();
  ASSERT_GE(got, 1u);
  std::string collected(buffer.begin(), buffer.begin() + got);
  while (collected.size() < 7) {
    const std::uint32_t more = transport.Read(buffer.data(), buffer.size());
    if (more == 0) break;
    collected.append(buffer.begin(), buffer.begin() + more);
  }
  EXPECT_EQ(collected, "<BQ,E/>");
}

TEST(ComTransport, ReadOnASilentLineGivesNothingAfterAboutTwoHundredMilliseconds) {
  PseudoTerminal pty;
  COMTransport transport(pty.Path(), kBootloaderBaudRate);
  ASSERT_TRUE(transport.Open());
  std::array<std::uint8_t, 2038> buffer{};
  const std::uint32_t start = platform::TickCount();
  EXPECT_EQ(transport.Read(buffer.data(), buffer.size()), 0u);
  const std::uint32_t waited = platform::TicksBetween(start, platform::TickCount());
  EXPECT_GE(waited, 150u);
  EXPECT_LT(waited, 1500u);
}

TEST(ComTransport, AFailedWriteClosesThePortButStillReportsTrue) {
  PseudoTerminal pty;
  COMTransport transport(pty.Path(), kBootloaderBaudRate);
  ASSERT_TRUE(transport.Open());
  const std::string frame("\x01\x01\n\x10\x21\x04", 6);  // a raw line: no CR added
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(frame.data());
  EXPECT_TRUE(transport.Write(bytes, 6));
  EXPECT_EQ(pty.Receive(6), frame);
  EXPECT_TRUE(transport.IsOpen());

  pty.CloseMaster();
  EXPECT_TRUE(transport.Write(bytes, 6));
  EXPECT_FALSE(transport.IsOpen());
}

TEST(ComTransport, TextQueryOverSerialSendsNoLineEnd) {
  PseudoTerminal pty;
  COMTransport transport(pty.Path(), 9600);
  ASSERT_TRUE(transport.Open());
  ASSERT_TRUE(pty.Send("<STALE/>"));  // left over from an earlier exchange
  std::string unitSaw;
  platform::JoinedThread unit([&] {
    unitSaw = pty.Receive(8);
    ASSERT_TRUE(pty.Send("\r\n<BQ,D/>"));
  });
  std::string reply;
  EXPECT_TRUE(transport.TextQuery("<SY,BQ/>", reply, 16, 1000));
  unit.Join();
  EXPECT_EQ(unitSaw, "<SY,BQ/>");
  EXPECT_EQ(reply, "<BQ,D/>");
}

TEST(ComTransport, TextQueryToAChatteringLineEndsAfterItsTimeOuts) {
  PseudoTerminal pty;
  COMTransport transport(pty.Path(), 9600);
  ASSERT_TRUE(transport.Open());
  std::atomic<bool> done{false};
  platform::JoinedThread chatter([&] {
    const std::uint32_t start = platform::TickCount();
    // A byte every 100 ms until the query ends, or long enough to show one that never would.
    while (!done && platform::TicksBetween(start, platform::TickCount()) < 8000) {
      pty.Send(".");
      platform::SleepMs(100);
    }
  });
  std::string reply;
  const std::uint32_t start = platform::TickCount();
  EXPECT_FALSE(transport.TextQuery("<SY,BQ/>", reply, 16, 1000));
  // At most 1 s of draining (plus the read and pause under way), then 1 s for the reply.
  EXPECT_LT(platform::TicksBetween(start, platform::TickCount()), 3500u);
  done = true;
}

TEST(ComPortTable, KeepsThePortsThatOpenExclusivelyInOrder) {
  PseudoTerminal first;
  PseudoTerminal held;
  PseudoTerminal last;
  platform::SerialPort holder;
  ASSERT_TRUE(holder.Open(held.Path()));

  ComPortTableType table;
  table.ScanComPorts({first.Path(), "/dev/tessaline-absent", held.Path(), last.Path()});
  EXPECT_EQ(table.Entries(), (std::vector<std::string>{first.Path(), last.Path()}));
  EXPECT_EQ(table.Count(), 2u);
  EXPECT_EQ(table.Entry(1), last.Path());
  EXPECT_EQ(table.Entry(2), "") << "the list ends with an empty entry";

  // The scan leaves every port closed again, and a rescan forgets what has gone.
  platform::SerialPort probe;
  EXPECT_TRUE(probe.Open(first.Path()));
  table.ScanComPorts({last.Path()});
  EXPECT_EQ(table.Entries(), std::vector<std::string>{last.Path()});
}

TEST(ComPortTable, ScanWithoutArgumentsUsesTheConfiguredCandidates) {
  PseudoTerminal pty;
  ASSERT_EQ(setenv("TESSALINE_SERIAL_PORTS", (pty.Path() + ":/dev/tessaline-absent").c_str(), 1),
            0);
  ComPortTable().ScanComPorts();
  unsetenv("TESSALINE_SERIAL_PORTS");
  EXPECT_EQ(ComPortTable().Entries(), std::vector<std::string>{pty.Path()});
}

}  // namespace
}  // namespace tessaline
