// Thread names on Linux: the kernel's 16-byte comm field.
#include "platform/threading.h"

#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <string>

namespace tessaline::platform {

void ThreadNameHook(const char* name) {
  // The main thread's name is the process's own: ps, pgrep and killall find the program by it.
  if (syscall(SYS_gettid) == getpid()) return;
  constexpr std::size_t kLongestName = 15;  // longer names are refused whole, so cut them
  const std::string shortened = std::string(name).substr(0, kLongestName);
  pthread_setname_np(pthread_self(), shortened.c_str());
}

}  // namespace tessaline::platform
