// The tessaline-unit-sim program: its flags, its ready line, its stop on SIGTERM and its JSON log.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "sim_test_support.h"
#include "unit-sim/command_line.h"

namespace tessaline::sim {
namespace {

TEST(SimulatorCommandLine, FlagsFillTheConfiguration) {
  std::string error;
  const auto options = ParseCommandLine({"--udp",
                                         "127.0.0.5",
                                         "--serial-link",
                                         "/tmp/x",
                                         "--line-rate",
                                         "9600",
                                         "--app-baud",
                                         "19200",
                                         "--tcp-text",
                                         "127.0.0.5:5000",
                                         "--discovery",
                                         "127.0.0.5",
                                         "--mode",
                                         "application",
                                         "--identity",
                                         "Tessaline,GD32,ADAU1462",
                                         "--bl-version",
                                         "4.1",
                                         "--pin",
                                         "9876",
                                         "--bootload-enabled",
                                         "--seed",
                                         "7",
                                         "--drop",
                                         "0.25",
                                         "--corrupt",
                                         "0.5",
                                         "--duplicate",
                                         "0.125",
                                         "--delay",
                                         "1",
                                         "--delay-ms",
                                         "30",
                                         "--stale",
                                         "0.75",
                                         "--refuse",
                                         "0x83:4",
                                         "--drop-nth",
                                         "0x84:1",
                                         "--drop-nth",
                                         "11:2",
                                         "--silent-after",
                                         "12",
                                         "--erase-delay-ms",
                                         "2000",
                                         "--log",
                                         "/tmp/log.json"},
                                        &error);
  ASSERT_TRUE(options) << error;
  const UnitConfig& c = options->config;
  EXPECT_EQ(c.udpAddress, "127.0.0.5");
  EXPECT_EQ(c.serialLink, "/tmp/x");
  EXPECT_EQ(c.lineRate, 9600u);
  EXPECT_EQ(c.appBaud, 19200u);
  EXPECT_EQ(c.tcpText, "127.0.0.5:5000");
  EXPECT_EQ(c.discoveryAddress, "127.0.0.5");
  EXPECT_EQ(c.mode, UnitMode::Application);
  EXPECT_EQ(c.mcuFamily, "GD32");
  EXPECT_EQ(c.dsp, "ADAU1462");
  EXPECT_EQ(c.bootloaderMajor, 4);
  EXPECT_EQ(c.bootloaderMinor, 1);
  EXPECT_EQ(c.pin, "9876");
  EXPECT_TRUE(c.bootloadEnabled);
  EXPECT_EQ(c.faults.seed, 7u);
  EXPECT_EQ(c.faults.dropRequests, 0.25);
  EXPECT_EQ(c.faults.corruptReplies, 0.5);
  EXPECT_EQ(c.faults.duplicateReplies, 0.125);
  EXPECT_EQ(c.faults.delayReplies, 1.0);
  EXPECT_EQ(c.faults.delayMs, 30u);
  EXPECT_EQ(c.faults.staleSequence, 0.75);
  EXPECT_EQ(c.faults.refuseCommand, 0x03);
  EXPECT_EQ(c.faults.refuseNth, 4u);
  ASSERT_EQ(c.faults.dropArrivals.size(), 2u);
  EXPECT_EQ(c.faults.dropArrivals[0].command, 0x04);  // the plain code of 0x84
  EXPECT_EQ(c.faults.dropArrivals[1].nth, 2u);
  EXPECT_EQ(c.faults.silentAfter, 12u);
  EXPECT_EQ(c.eraseDelayMs, 2000u);
  EXPECT_EQ(options->logPath, "/tmp/log.json");
}

TEST(SimulatorCommandLine, BadFlagsAreRejected) {
  const std::vector<std::vector<std::string>> cases = {
      {},                                       // no port
      {"--udp"},                                // missing value
      {"--udp", "127.0.0.5", "--fast"},         // unknown flag
      {"--udp", "127.0.0.5", "--drop", "1.5"},  // not a probability
      {"--udp", "127.0.0.5", "--mode", "sleep"},
      {"--udp", "127.0.0.5", "--identity", "Tessaline,STM32"},
      {"--udp", "127.0.0.5", "--bl-version", "4"},
      {"--udp", "127.0.0.5", "--refuse", "0x03"},
      {"--udp", "127.0.0.5", "--refuse", "0x03:0"},
      {"--udp", "127.0.0.5", "--drop-nth", "0x104:1"},
      {"--udp", "127.0.0.5", "--line-rate", "fast"},
  };
  for (const auto& args : cases) {
    std::string error;
    EXPECT_FALSE(ParseCommandLine(args, &error)) << ::testing::PrintToString(args);
    EXPECT_FALSE(error.empty());
  }
}

TEST(SimulatorCommandLine, HelpDocumentsEveryFlag) {
  const std::string help = HelpText();
  for (const char* flag : {"--udp",      "--serial-link",      "--line-rate",
                           "--app-baud", "--tcp-text",         "--discovery",
                           "--mode",     "--identity",         "--bl-version",
                           "--pin",      "--bootload-enabled", "--seed",
                           "--drop",     "--corrupt",          "--duplicate",
                           "--delay",    "--delay-ms",         "--stale",
                           "--refuse",   "--silent-after",     "--erase-delay-ms", "--drop-nth",
                           "--log",      "--count",            "--stale-version"}) {
    EXPECT_NE(help.find(std::string(flag) + " "), std::string::npos) << flag;
  }
}

TEST(SimulatorProgram, ServesUntilSigtermThenWritesItsLog) {
  const char* buildDir = std::getenv("TESSALINE_BUILD_DIR");
  ASSERT_NE(buildDir, nullptr);
  const std::string program = std::string(buildDir) + "/tools/unit-sim/tessaline-unit-sim";
  const std::string log = "/tmp/tessaline-sim-program-" + std::to_string(::getpid()) + ".json";
  int output[2];
  ASSERT_EQ(::pipe(output), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::dup2(output[1], STDOUT_FILENO);
    ::execl(program.c_str(), program.c_str(), "--udp", "127.0.93.100", "--serial", "--log",
            log.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(output[1]);
  FILE* stream = ::fdopen(output[0], "r");
  char line[512] = {};
  ASSERT_NE(std::fgets(line, sizeof line, stream), nullptr);
  const std::string ready = line;
  EXPECT_EQ(ready.rfind("ready serial=/dev/pts/", 0), 0u) << ready;
  EXPECT_NE(ready.find(" udp=127.0.93.100:6234"), std::string::npos) << ready;

  testing::UdpBootloaderClient client("127.0.93.100");
  EXPECT_TRUE(client.Exchange(0x01));
  EXPECT_TRUE(client.Exchange(0x85, 1));
  EXPECT_TRUE(client.Exchange(0x86, 2, testing::ChunkPayload(0x40000, {'a', 'b', 'c'})));

  ::kill(child, SIGTERM);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  std::fclose(stream);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);

  std::ifstream file(log);
  std::stringstream json;
  json << file.rdbuf();
  const std::string text = json.str();
  ::unlink(log.c_str());
  const std::size_t first = text.find("\"command\": 1,");
  const std::size_t second = text.find("\"command\": 133, \"sequence\": 1,");
  const std::size_t third = text.find("\"command\": 134, \"sequence\": 2, \"dataLength\": 72");
  EXPECT_NE(first, std::string::npos) << text;
  EXPECT_LT(first, second);
  EXPECT_LT(second, third);
  EXPECT_NE(third, std::string::npos);
  EXPECT_NE(text.find("\"finalMode\": \"bootloader\""), std::string::npos);
  // SHA-256 of "abc": the flash data from 0x40000.
  EXPECT_NE(text.find("\"flashData\": {\"base\": 262144, \"length\": 3, \"sha256\": "
                      "\"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad\"}"),
            std::string::npos)
      << text;
}

}  // namespace
}  // namespace tessaline::sim
