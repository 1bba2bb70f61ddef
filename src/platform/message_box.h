// One message-box call for the windows, routed to a handler a host (a test) may set.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace tessaline::platform {

enum class MessageBoxIcon { Error, Warning, Information, Question };
enum class MessageBoxButtons { Ok, OkCancel, YesNo };
enum class MessageBoxResult { Ok, Cancel, Yes, No };

struct MessageBoxRequest {
  void* owner = nullptr;  // an HWND in the Win32 front end; null for "no owner window"
  std::string text;       // UTF-8
  std::string caption;    // UTF-8
  MessageBoxIcon icon = MessageBoxIcon::Information;
  MessageBoxButtons buttons = MessageBoxButtons::Ok;
};

using MessageBoxHandler = std::function<MessageBoxResult(const MessageBoxRequest&)>;

// Replaces the process-wide handler; an empty handler restores the platform default (a real
// MessageBoxW on Windows, a line on stderr answering Ok/Yes elsewhere). Returns the previous one.
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);

MessageBoxResult ShowMessageBox(const MessageBoxRequest& request);

// The platform default, for handlers that forward.
MessageBoxResult PlatformMessageBox(const MessageBoxRequest& request);

}  // namespace tessaline::platform
