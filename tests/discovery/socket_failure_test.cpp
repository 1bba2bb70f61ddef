// A socket that cannot be made reaches the front ends as a value on every network path, and the
// desktop program's boxes for it (and for a refused firewall rule) say what they always said.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>

#include "discovery/network_discovery.h"
#include "discovery/test_doubles.h"
#include "discovery/text_protocol.h"
#include "discovery/version_worker.h"
#include "support/manual_clock.h"
#include "support/memory_package.h"
#include "support/recording_message_target.h"
#include "transport/ethernet_transport.h"
#include "transport/ethernet_transport_tcp.h"
#include "ui/discovery_messages.h"
#include "ui/failure_boxes.h"
#include "ui/job_messages.h"
#include "ui/messages.h"
#include "update/jobs.h"

namespace tessaline {
namespace {

// While alive, this process can open no new descriptor: every socket() fails with EMFILE.
class DescriptorsExhausted {
 public:
  DescriptorsExhausted() {
    getrlimit(RLIMIT_NOFILE, &saved_);
    const int lowestFree = open("/dev/null", O_RDONLY);
    close(lowestFree);
    rlimit lowered = saved_;
    lowered.rlim_cur = static_cast<rlim_t>(lowestFree);
    setrlimit(RLIMIT_NOFILE, &lowered);
  }
  ~DescriptorsExhausted() { setrlimit(RLIMIT_NOFILE, &saved_); }
  DescriptorsExhausted(const DescriptorsExhausted&) = delete;
  DescriptorsExhausted& operator=(const DescriptorsExhausted&) = delete;

 private:
  rlimit saved_{};
};

struct FailureLog final : DiscoveryListener, VersionListener, JobObserver {
  std::vector<SocketFailure> failures;
  bool queryEnded = false;
  void NetworkUnitFound(std::uint32_t, std::uint16_t) override {}
  void SerialUnitFound(std::uint32_t, bool) override {}
  void NetworkSearchFailed(const SocketFailure& failure) override { failures.push_back(failure); }
  void QueryBegan() override {}
  void BootloaderVersion(std::uint16_t) override {}
  void ApplicationVersion(std::optional<std::uint32_t>) override {}
  void NoBootloader() override {}
  void BootloadState(char) override {}
  void SocketFailed(const SocketFailure& failure) override { failures.push_back(failure); }
  void QueryEnded() override { queryEnded = true; }
};

bool IsCreationFailure(const std::optional<SocketFailure>& failure) {
  return failure && failure->text == IDS_SOCKET_CREATION_FAILED && !failure->reason.empty();
}

TEST(SocketFailure, EveryNetworkPathReportsTheSocketItCouldNotMake) {
#if defined(__SANITIZE_ADDRESS__)
  // UndefinedBehaviorSanitizer checks each virtual call's object through a pipe of its own, which
  // a process without a free descriptor cannot make, so it reports every such call as invalid.
  GTEST_SKIP() << "runs in the builds without sanitizers";
#endif
  const UnitAddress unit = UnitAddress::Network(platform::Ipv4FromOctets(127, 0, 91, 1));
  EthernetTransport udp(unit.Ipv4());
  EthernetTransportTCP tcp(unit.Ipv4(), 4999);
  FailureLog discovery;
  FailureLog query;
  testing::ManualClock clock;
  JobOptions options;
  options.clock = &clock;
  FailureLog observer;
  JobResult job;
  EnterBootloadResult entered;
  {
    DescriptorsExhausted exhausted;
    EXPECT_FALSE(udp.Open());
    EXPECT_FALSE(tcp.Open());
    const std::atomic<bool> stop{false};
    ip_discover_thread(discovery, stop,
                       "Brume Tessaline");  // returns at once: there is nothing to search with
    RunVersionQuery(unit, 4999, query, clock);
    job = RunExitBootloadJob(unit, options, observer);
    entered = EnterBootloadMode(unit, 4999, "1234", {}, clock);
  }
  EXPECT_TRUE(IsCreationFailure(udp.SocketSetupFailure()));
  EXPECT_TRUE(IsCreationFailure(tcp.SocketSetupFailure()));
  EXPECT_EQ(udp.OpenFailure().rfind("Socket creation failed. ", 0), 0u) << udp.OpenFailure();
  ASSERT_EQ(discovery.failures.size(), 1u);
  EXPECT_TRUE(IsCreationFailure(discovery.failures[0]));
  ASSERT_EQ(query.failures.size(), 2u) << "the bootloader's socket, then the text port's";
  EXPECT_TRUE(IsCreationFailure(query.failures[0]));
  EXPECT_TRUE(IsCreationFailure(query.failures[1]));
  EXPECT_TRUE(query.queryEnded);
  EXPECT_EQ(job.outcome, JobOutcome::PortUnavailable);
  EXPECT_TRUE(IsCreationFailure(job.socketFailure));
  EXPECT_EQ(entered.outcome, EnterBootloadOutcome::NoUnitAnswered);
  EXPECT_TRUE(IsCreationFailure(entered.socketFailure));
}

TEST(SocketFailure, TheDesktopProgramShowsTheBoxesItAlwaysShowed) {
  testing::MessageBoxRecorder boxes;
  const SocketFailure broadcast{IDS_BROADCAST_FAILED, "Permission denied"};
  const SocketFailure timeout{IDS_RECEIVE_TIMEOUT_FAILED, "Invalid argument"};
  auto window = std::make_shared<RecordingMessageTarget>();
  DiscoveryMessages(window).NetworkSearchFailed(broadcast);
  VersionMessages(window).SocketFailed(timeout);
  JobResult job;
  job.outcome = JobOutcome::PortUnavailable;
  job.socketFailure = SocketFailure{IDS_SOCKET_CREATION_FAILED, "Too many open files"};
  JobMessages(window, Package::Load(testing::MemoryPackageSource{})).Finished(job);
  for (auto outcome :
       {platform::FirewallRuleOutcome::NotAttempted, platform::FirewallRuleOutcome::AddFailed,
        platform::FirewallRuleOutcome::AccessDenied}) {
    ShowFirewallRuleBox(window.get(), {outcome, "Access is denied"});
  }

  const auto shown = boxes.Boxes();
  ASSERT_EQ(shown.size(), 4u);
  const char* socketTexts[] = {"Failed to set broadcast mode.",
                               "Failed to set the receive time out.", "Socket creation failed."};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(shown[i].caption, "Socket Error");
    EXPECT_EQ(shown[i].text, socketTexts[i]) << "the system's words stay out of the box";
    EXPECT_EQ(shown[i].icon, platform::MessageBoxIcon::Error);
    EXPECT_EQ(shown[i].owner, nullptr);
  }
  EXPECT_EQ(window->Codes(), std::vector<std::uint32_t>{WM_APP_NO_RESPONSE}) << "after the box";
  EXPECT_EQ(shown[3].caption, "Error adding Firewall Rule");
  EXPECT_EQ(shown[3].text.size(), 227u);
  EXPECT_EQ(shown[3].icon, platform::MessageBoxIcon::Warning);
  EXPECT_EQ(shown[3].owner, window.get());
}

}  // namespace
}  // namespace tessaline
