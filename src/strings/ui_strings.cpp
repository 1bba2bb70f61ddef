// Look-up of the user-interface strings.
#include "strings/ui_strings.h"

namespace tessaline {

const char* UiString(StringId id) {
  switch (id) {
#define UI_STRING(id, symbol, text) \
  case symbol:                      \
    return text;
#include "ui_strings.def"
#undef UI_STRING
  }
  return "";
}

std::string ProgressText(const std::string& stage) {
  std::string format = UiString(IDS_PROGRESS_FORMAT);
  const auto at = format.find("%s");
  if (at == std::string::npos) return format;
  return format.replace(at, 2, stage);
}

}  // namespace tessaline
