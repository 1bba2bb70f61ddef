// A thread that is always joined: starting workers without leaking them.
#pragma once

#include <atomic>
#include <system_error>
#include <thread>
#include <utility>

namespace tessaline::platform {

// Called first by every thread with its name ("main_application", "bootload_thread", ...), so a
// debugger, `top -H` or a crash dump tells the threads apart. Linux keeps the first 15 characters
// and leaves the main thread with the program's name; Windows before 10 keeps no thread names.
void ThreadNameHook(const char* name);

// Tests set this to make every later thread start fail as it does when the system has no room for
// another thread, so they can see that such a failure never escapes a window procedure.
inline std::atomic<bool> refuseThreadStarts{false};

// RAII-joined thread (std::jthread without the stop token, which the workers replace by their
// own flags). Joining happens in the destructor unless Join was called first.
class JoinedThread {
 public:
  JoinedThread() = default;
  template <typename F, typename... Args>
  explicit JoinedThread(F&& f, Args&&... args)
      : thread_(Start(std::forward<F>(f), std::forward<Args>(args)...)) {}
  ~JoinedThread() { Join(); }
  JoinedThread(JoinedThread&&) noexcept = default;
  JoinedThread& operator=(JoinedThread&& other) noexcept {
    if (this != &other) {
      Join();
      thread_ = std::move(other.thread_);
    }
    return *this;
  }
  JoinedThread(const JoinedThread&) = delete;
  JoinedThread& operator=(const JoinedThread&) = delete;

  bool Running() const { return thread_.joinable(); }
  void Join() {
    if (thread_.joinable()) thread_.join();
  }

 private:
  template <typename F, typename... Args>
  static std::thread Start(F&& f, Args&&... args) {
    if (refuseThreadStarts.load()) {
      throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again),
                              "thread start refused");
    }
    return std::thread(std::forward<F>(f), std::forward<Args>(args)...);
  }

  std::thread thread_;
};

}  // namespace tessaline::platform
