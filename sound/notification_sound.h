#pragma once

#include <chrono>

namespace mandel_ui {

// Plays the desktop's notification sound from its sound theme and returns when
// it has finished, so the caller's window takes no input meanwhile. The wait is
// bounded by `limit`: a sound system that never reports the end cannot hang the
// program. Without an audio device or sound theme nothing is played; the sound
// library's own error messages are kept off the terminal, and the first time
// the machine turns out to have no sound device one line on the standard
// error says so. Returns whether a sound played to its end.
bool playNotificationSound(std::chrono::milliseconds limit = std::chrono::seconds(5));

}  // namespace mandel_ui
