// Starts the socket library for the whole test binary (Winsock needs it before any socket).
#include "platform/sockets.h"

namespace {
const tessaline::platform::SocketLibrary kSocketLibrary;
}  // namespace
