// A socket that cannot be made reaches the front ends as a value on every network path.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>

#include "discovery/network_discovery.h"
#include "discovery/text_protocol.h"
#include "discovery/version_worker.h"
#include "support/manual_clock.h"
#include "support/recording_job_observer.h"
#include "support/recording_listeners.h"
#include "transport/ethernet_transport.h"
#include "transport/ethernet_transport_tcp.h"
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

bool IsCreationFailure(const std::optional<SocketFailure>& failure) {
  return failure && failure->text == IDS_SOCKET_CREATION_FAILED && !failure->reason.empty();
}

TEST(SocketFailure, EveryNetworkPathReportsTheSocketItCouldNotMake) {
#if defined(TESSALINE_SANITIZED_BUILD)
  // UndefinedBehaviorSanitizer checks each virtual call's object through a pipe of its own, which
  // a process without a free descriptor cannot make, so it reports every such call as invalid.
  GTEST_SKIP() << "runs in the builds without sanitizers";
#endif
  const UnitAddress unit = UnitAddress::Network(platform::Ipv4FromOctets(127, 0, 91, 1));
  EthernetTransport udp(unit.Ipv4());
  EthernetTransportTCP tcp(unit.Ipv4(), 4999);
  testing::RecordingDiscoveryListener discovery;
  testing::RecordingVersionListener query;
  testing::ManualClock clock;
  JobOptions options;
  options.clock = &clock;
  testing::RecordingJobObserver observer;
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
  ASSERT_EQ(discovery.Failures().size(), 1u);
  EXPECT_TRUE(IsCreationFailure(discovery.Failures()[0]));
  const auto queryFailures = query.Failures();
  ASSERT_EQ(queryFailures.size(), 2u) << "the bootloader's socket, then the text port's";
  EXPECT_TRUE(IsCreationFailure(queryFailures[0]));
  EXPECT_TRUE(IsCreationFailure(queryFailures[1]));
  ASSERT_FALSE(query.Events().empty());
  EXPECT_EQ(query.Events().back(), testing::VersionEvent::Ended());
  EXPECT_EQ(job.outcome, JobOutcome::PortUnavailable);
  EXPECT_TRUE(IsCreationFailure(job.socketFailure));
  ASSERT_TRUE(observer.FinishedOnceWith(JobOutcome::PortUnavailable));
  EXPECT_TRUE(IsCreationFailure(observer.Results()[0].socketFailure)) << "told as it is returned";
  EXPECT_EQ(entered.outcome, EnterBootloadOutcome::NoUnitAnswered);
  EXPECT_TRUE(IsCreationFailure(entered.socketFailure));
}

}  // namespace
}  // namespace tessaline
