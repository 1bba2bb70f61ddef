// Progress messages of the update procedures.
#include "update/progress.h"

#include "shell/messages.h"
#include "shell/ui_strings.h"

namespace tessaline {

std::atomic<std::uint32_t> ProgressPosition{0};

void PostProgressText(MessageTarget* window, const std::string& stage, bool post) {
  if (window == nullptr) return;
  WorkerMessage message{WM_APP_PROGRESS_TEXT, 0, 0, ProgressText(stage)};
  if (post) {
    window->Post(std::move(message));
  } else {
    window->Send(std::move(message));
  }
}

void PostProgressPosition(MessageTarget* window, std::uint32_t position) {
  if (window == nullptr) return;
  window->Post(WorkerMessage{WM_APP_PROGRESS_POS, position, 0, {}});
}

}  // namespace tessaline
