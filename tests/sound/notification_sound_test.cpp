// Each test points HOME at a fresh folder whose .asoundrc decides where ALSA's
// default device goes; CTest runs each in a process of its own, since ALSA
// reads its configuration once per process.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "notification_sound.h"

namespace {

namespace fs = std::filesystem;

class AlsaHome {
public:
    explicit AlsaHome(const std::string& asoundrc) {
        std::string pattern = (fs::temp_directory_path() / "mandel-sound-XXXXXX").string();
        dir_ = mkdtemp(pattern.data());
        std::ofstream(dir_ / ".asoundrc") << asoundrc << '\n';
        setenv("HOME", dir_.c_str(), 1);
    }
    ~AlsaHome() { fs::remove_all(dir_); }
    const fs::path& dir() const { return dir_; }

private:
    fs::path dir_;
};

TEST(NotificationSound, PlaysTheThemeSoundToTheEndThroughTheDefaultDevice) {
    // The default device writes what it plays into a file.
    AlsaHome home("");
    const fs::path captured = home.dir() / "captured.raw";
    std::ofstream(home.dir() / ".asoundrc")
        << "pcm.!default { type file; slave.pcm \"null\"; file \"" << captured.string() << "\"; format \"raw\" }\n";

    EXPECT_TRUE(mandel_ui::playNotificationSound());
    // The device's file is written by the sound system's own thread, which
    // may close it a moment after reporting the end: wait for it, boundedly.
    std::uintmax_t size = 0;
    for (int i = 0; i < 100 && size <= 10000; ++i) {
        if (i > 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        std::error_code error;
        size = fs::file_size(captured, error);
        if (error) size = 0;
    }
    EXPECT_GT(size, 10000u) << "a short sound should have reached the device, not silence";
}

TEST(NotificationSoundWithoutDevice, ReturnsWithoutPlaying) {
    // A sound card that does not exist: the call comes back at once.
    AlsaHome home("pcm.!default { type hw; card 97 }");
    EXPECT_FALSE(mandel_ui::playNotificationSound());
}

TEST(NotificationSoundMessages, KeepTheSoundLibrarysOwnOffTheTerminal) {
    // A default device that cannot be opened makes the sound library print
    // "ALSA lib ..." lines on every attempt unless the program silences it.
    AlsaHome home("pcm.!default { type plug; slave.pcm \"nonexistent_pcm\" }");
    testing::internal::CaptureStderr();
    EXPECT_FALSE(mandel_ui::playNotificationSound());
    EXPECT_FALSE(mandel_ui::playNotificationSound());
    EXPECT_FALSE(mandel_ui::playNotificationSound());
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(said.find("ALSA"), std::string::npos) << said;
    // At most one line, on a machine without sound cards, and only once.
    EXPECT_LE(std::count(said.begin(), said.end(), '\n'), 1) << said;
    if (!said.empty()) {
        EXPECT_NE(said.find("No sound device was found"), std::string::npos) << said;
    }
}

}  // namespace
