#pragma once

#include <chrono>

namespace mandel_ui {

// Plays the desktop's notification sound from its sound theme and returns when
// it has finished, so the caller's window takes no input meanwhile. The wait is
// bounded by `limit`: a sound system that never reports the end cannot hang the
// program. Without an audio device or sound theme nothing is played and nothing
// is reported. Returns whether a sound played to its end.
bool playNotificationSound(std::chrono::milliseconds limit = std::chrono::seconds(5));

}  // namespace mandel_ui
