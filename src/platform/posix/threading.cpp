// Thread names on Linux: the kernel's 16-byte comm field.
#include "platform/threading.h"

#include <pthread.h>

#include <string>

namespace tessaline::platform {

void ThreadNameHook(const char* name) {
  constexpr std::size_t kLongestName = 15;  // longer names are refused whole, so cut them
  const std::string shortened = std::string(name).substr(0, kLongestName);
  pthread_setname_np(pthread_self(), shortened.c_str());
}

}  // namespace tessaline::platform
