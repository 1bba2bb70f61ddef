// Names of the worker message codes, for readable test failures.
#pragma once

#include <cstdint>

#include "ui/messages.h"

namespace tessaline {

// "WM_APP_UPDATE_SUCCEEDED"; "?" for unknown codes.
inline const char* MessageName(std::uint32_t code) {
  switch (code) {
    case WM_APP_NET_UNIT_FOUND:
      return "WM_APP_NET_UNIT_FOUND";
    case WM_APP_COM_UNIT_FOUND:
      return "WM_APP_COM_UNIT_FOUND";
    case WM_APP_UPDATE_SUCCEEDED:
      return "WM_APP_UPDATE_SUCCEEDED";
    case WM_APP_UPDATE_FAILED:
      return "WM_APP_UPDATE_FAILED";
    case WM_APP_PROGRESS_TEXT:
      return "WM_APP_PROGRESS_TEXT";
    case WM_APP_WRONG_RESPONSE:
      return "WM_APP_WRONG_RESPONSE";
    case WM_APP_NO_RESPONSE:
      return "WM_APP_NO_RESPONSE";
    case WM_APP_BOOTLOAD_EXITED:
      return "WM_APP_BOOTLOAD_EXITED";
    case WM_APP_BOOTLOADER_VERSION:
      return "WM_APP_BOOTLOADER_VERSION";
    case WM_APP_NO_BOOTLOADER:
      return "WM_APP_NO_BOOTLOADER";
    case WM_APP_APPLICATION_VERSION:
      return "WM_APP_APPLICATION_VERSION";
    case WM_APP_VERSION_QUERY_DONE:
      return "WM_APP_VERSION_QUERY_DONE";
    case WM_APP_ENABLE_ENTER_BOOTLOAD:
      return "WM_APP_ENABLE_ENTER_BOOTLOAD";
    case WM_APP_ENABLE_EXIT_BOOTLOAD:
      return "WM_APP_ENABLE_EXIT_BOOTLOAD";
    case WM_APP_PROGRESS_RANGE:
      return "WM_APP_PROGRESS_RANGE";
    case WM_APP_PROGRESS_POS:
      return "WM_APP_PROGRESS_POS";
    case WM_APP_JOB_ENDED:
      return "WM_APP_JOB_ENDED";
    case WM_APP_CONFIRM_DOWNGRADE:
      return "WM_APP_CONFIRM_DOWNGRADE";
    case WM_APP_RACK_ROW_CHANGED:
      return "WM_APP_RACK_ROW_CHANGED";
    case WM_APP_RACK_RUN_ENDED:
      return "WM_APP_RACK_RUN_ENDED";
    default:
      return "?";
  }
}

}  // namespace tessaline
