// Progress reporting of the update procedures: the shared position and the status text.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "shell/message_target.h"

namespace tessaline {

// Progress units done in the current update: one per application record, one per flash data
// byte, kFactoryDefaultsWeight for the factory defaults step.
extern std::atomic<std::uint32_t> ProgressPosition;
inline constexpr std::uint32_t kFactoryDefaultsWeight = 10;

// "Progress: <stage>" as WM_APP_PROGRESS_TEXT; the text travels inside the message, so a later
// stage can never overwrite an earlier one still waiting in the queue. Posted, or sent when
// `post` is false. A null window drops it.
void PostProgressText(MessageTarget* window, const std::string& stage, bool post = true);

// WM_APP_PROGRESS_POS with wParam = position.
void PostProgressPosition(MessageTarget* window, std::uint32_t position);

}  // namespace tessaline
