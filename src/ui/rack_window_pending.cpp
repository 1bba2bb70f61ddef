// TEMPORARY stand-in for the rack window until it lands: shows nothing, keeps what it was given.
#include <vector>

#include "ui/rack_window.h"

namespace tessaline {

// The units of every call, in order, for a debugger or a test to read.
std::vector<std::vector<UnitAddress>>& PendingRackWindowRequests() {
  static std::vector<std::vector<UnitAddress>> requests;
  return requests;
}

void OpenRackWindow(HWND /*owner*/, std::shared_ptr<const Package> /*package*/,
                    const std::vector<UnitAddress>& units) {
  PendingRackWindowRequests().push_back(units);
}

}  // namespace tessaline
