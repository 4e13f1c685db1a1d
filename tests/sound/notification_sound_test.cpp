// The sound tests run with HOME pointing at a folder whose .asoundrc decides
// where ALSA's default device goes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "notification_sound.h"

namespace {

namespace fs = std::filesystem;

// .asoundrc routes the default device into a file, so the test can hear it.
TEST(NotificationSound, PlaysTheThemeSoundToTheEndThroughTheDefaultDevice) {
    const char* home = std::getenv("HOME");
    ASSERT_NE(home, nullptr);
    const fs::path captured = fs::path(home) / "captured.raw";
    fs::remove(captured);

    EXPECT_TRUE(mandel_ui::playNotificationSound());
    ASSERT_TRUE(fs::exists(captured)) << "nothing reached the audio device";
    EXPECT_GT(fs::file_size(captured), 10000u) << "a short sound, not silence";
}

// Runs with HOME pointing at a folder whose .asoundrc names a sound card that
// does not exist: the call must come back at once, reporting nothing.
TEST(NotificationSoundWithoutDevice, ReturnsWithoutPlaying) {
    EXPECT_FALSE(mandel_ui::playNotificationSound());
}

}  // namespace
