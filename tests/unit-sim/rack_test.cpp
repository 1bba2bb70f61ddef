// A rack of simulated units in one process (--count): own addresses, memory, seeds and logs.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

#include "sim_test_support.h"
#include "unit-sim/unit_rack.h"

namespace tessaline::sim {
namespace {

using testing::Bytes;
using testing::ChunkPayload;
using testing::ReplyData;
using testing::UdpBootloaderClient;

TEST(SimulatedRack, UnitsAnswerOnConsecutiveAddressesWithTheirOwnMemory) {
  UnitConfig first;
  first.udpAddress = "127.0.95.10";
  first.tcpText = "127.0.95.10:0";
  first.discoveryAddress = "127.0.95.10";
  first.serialLink = "/tmp/rack.pty";
  first.faults.seed = 5;
  std::string error;
  const auto configs = RackConfigs(first, 3, &error);
  ASSERT_TRUE(configs) << error;
  std::vector<std::unique_ptr<SimulatedUnit>> units;
  for (std::size_t k = 0; k < configs->size(); ++k) {
    const UnitConfig& config = (*configs)[k];
    EXPECT_EQ(config.udpAddress, "127.0.95.1" + std::to_string(k));
    EXPECT_EQ(config.tcpText, config.udpAddress + ":0");
    EXPECT_EQ(config.discoveryAddress, config.udpAddress);
    EXPECT_EQ(config.serialLink, "/tmp/rack-" + std::to_string(k + 1) + ".pty");
    EXPECT_EQ(config.faults.seed, 5 + k);
    UnitConfig networkOnly = config;
    networkOnly.serialLink.clear();
    units.push_back(std::make_unique<SimulatedUnit>(networkOnly));
    ASSERT_TRUE(units.back()->Start(&error)) << error;
  }
  // Only the middle unit receives flash data; each unit answers from its own address.
  UdpBootloaderClient middle("127.0.95.11");
  ASSERT_TRUE(middle.Exchange(0x85, 1));
  ASSERT_TRUE(middle.Exchange(0x86, 2, ChunkPayload(0x40000, {9, 8})));
  for (std::size_t k = 0; k < units.size(); ++k) {
    SCOPED_TRACE(k);
    UdpBootloaderClient client("127.0.95.1" + std::to_string(k));
    const auto identity = client.Exchange(0x01);
    ASSERT_TRUE(identity);
    EXPECT_EQ(ReplyData(*identity).at(0), 1);
    EXPECT_EQ(units[k]->FlashData(), k == 1 ? (Bytes{9, 8}) : Bytes{});
  }

  EXPECT_FALSE(RackConfigs(
      [] {
        UnitConfig late;
        late.udpAddress = "127.0.95.254";
        return late;
      }(),
      3, &error));
  EXPECT_EQ(RackLogPath("/tmp/a.b/unit.json", 2, 3), "/tmp/a.b/unit-2.json");
  EXPECT_EQ(RackLogPath("/tmp/a.b/unit", 2, 3), "/tmp/a.b/unit-2");
  EXPECT_EQ(RackLogPath("/tmp/unit.json", 1, 1), "/tmp/unit.json");
}

TEST(SimulatedRack, ProgramPrintsAReadyLinePerUnitAndWritesALogEach) {
  const std::string program =
      std::string(std::getenv("TESSALINE_BUILD_DIR")) + "/tools/unit-sim/tessaline-unit-sim";
  const std::string log = "/tmp/tessaline-rack-" + std::to_string(::getpid()) + ".json";
  int output[2];
  ASSERT_EQ(::pipe(output), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::dup2(output[1], STDOUT_FILENO);
    ::execl(program.c_str(), program.c_str(), "--udp", "127.0.95.20", "--serial", "--count", "2",
            "--log", log.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(output[1]);
  FILE* stream = ::fdopen(output[0], "r");
  std::vector<std::string> ready;
  char line[512];
  while (ready.size() < 2 && std::fgets(line, sizeof line, stream) != nullptr)
    ready.push_back(line);
  ASSERT_EQ(ready.size(), 2u);
  for (std::size_t k = 0; k < 2; ++k) {
    EXPECT_EQ(ready[k].rfind("ready serial=/dev/pts/", 0), 0u) << ready[k];
    EXPECT_NE(ready[k].find(" udp=127.0.95.2" + std::to_string(k) + ":6234"), std::string::npos);
  }
  EXPECT_NE(ready[0].substr(0, ready[0].find(' ', 6)), ready[1].substr(0, ready[1].find(' ', 6)));
  UdpBootloaderClient second("127.0.95.21");
  EXPECT_TRUE(second.Exchange(0x02));

  ::kill(child, SIGTERM);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  std::fclose(stream);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  for (const char* suffix : {"-1.json", "-2.json"}) {
    const std::string path = log.substr(0, log.size() - 5) + suffix;
    std::ifstream file(path);
    const std::string text((std::istreambuf_iterator<char>(file)),
                           std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("\"finalMode\""), std::string::npos) << path;
    // Only the second unit saw the erase.
    EXPECT_EQ(text.find("\"command\": 2,") != std::string::npos, std::string(suffix) == "-2.json")
        << path;
    std::filesystem::remove(path);
  }
}

}  // namespace
}  // namespace tessaline::sim
