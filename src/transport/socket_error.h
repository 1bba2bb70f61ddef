// The "Socket Error" message box the network transports show when a socket cannot be set up.
#pragma once

#include "strings/ui_strings.h"

namespace tessaline {

void ShowSocketError(StringId text);

}  // namespace tessaline
