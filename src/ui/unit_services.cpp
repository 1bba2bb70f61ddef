// The main window's requests to the core: job threads, version queries, address checks.
#include "ui/unit_services.h"

#include "discovery/network_discovery.h"
#include "discovery/version_worker.h"
#include "update/jobs.h"

namespace tessaline {
namespace {
class WindowJobThread final : public StartedJob {
 public:
  bool Start(WindowJob kind, UnitRequest request) {
    return thread_.Start(kind == WindowJob::Update ? JobKind::Update : JobKind::ExitBootload,
                         std::move(request));
  }

 private:
  JobThread thread_;  // joined on destruction
};
}  // namespace

std::unique_ptr<StartedJob> StartWindowJob(WindowJob kind, UnitRequest request) {
  auto job = std::make_unique<WindowJobThread>();
  if (!job->Start(kind, std::move(request))) return nullptr;
  return job;
}

void QueueVersionQuery(UnitRequest request) {
  SubmitVersionQuery(std::make_unique<UnitRequest>(std::move(request)));
}

bool IsUsableAddress(std::uint32_t addressNetworkOrder) {
  return IsUsableUnitAddress(addressNetworkOrder);
}

}  // namespace tessaline
