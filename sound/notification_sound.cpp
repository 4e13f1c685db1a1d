#include "notification_sound.h"

#include <alsa/asoundlib.h>
#include <canberra.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>

namespace mandel_ui {

namespace {

// Filled in by libcanberra's own thread when playback ends.
struct Completion {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    int error = CA_SUCCESS;
};

void onFinished(ca_context*, std::uint32_t, int error, void* userdata) {
    auto* completion = static_cast<Completion*>(userdata);
    {
        std::lock_guard lock(completion->mutex);
        completion->finished = true;
        completion->error = error;
    }
    completion->done.notify_all();
}

// The sound library's own error messages ("ALSA lib ... cannot find card"),
// several lines for every attempt on a machine without a sound device, are
// of no use to the user: the program says once what it means instead.
void ignoreAlsaError(const char*, int, const char*, int, const char*, ...) {}

bool hasSoundCard() {
    int card = -1;
    return snd_card_next(&card) == 0 && card >= 0;
}

void reportMissingDeviceOnce() {
    static std::once_flag reported;
    std::call_once(reported,
                   [] { std::fputs("No sound device was found; the notification sound is not played.\n", stderr); });
}

// One context for the whole program. Destroying a context unloads its output
// driver while the driver's thread may still be closing the device, which
// crashes; a context that lives as long as the program never does that.
ca_context* soundContext() {
    static ca_context* const context = [] {
        snd_lib_error_set_handler(ignoreAlsaError);
        ca_context* created = nullptr;
        return ca_context_create(&created) == CA_SUCCESS ? created : nullptr;
    }();
    return context;
}

std::atomic<std::uint32_t> nextSoundId{1};

}  // namespace

bool playNotificationSound(std::chrono::milliseconds limit) {
    ca_context* context = soundContext();
    if (!context) return false;
    ca_proplist* props = nullptr;
    if (ca_proplist_create(&props) != CA_SUCCESS) return false;
    ca_proplist_sets(props, CA_PROP_EVENT_ID, "message-new-instant");
    ca_proplist_sets(props, CA_PROP_EVENT_DESCRIPTION, "Version information closed");

    const std::uint32_t id = nextSoundId++;
    auto completion = std::make_unique<Completion>();
    bool played = false;
    bool answered = true;
    const int started = ca_context_play_full(context, id, props, onFinished, completion.get());
    if (started == CA_SUCCESS) {
        std::unique_lock lock(completion->mutex);
        answered = completion->done.wait_for(lock, limit, [&] { return completion->finished; });
        played = answered && completion->error == CA_SUCCESS;
    } else if (!hasSoundCard()) {
        reportMissingDeviceOnce();
    }
    ca_proplist_destroy(props);
    if (!answered) {
        // The sound system has not reported the end in time: stop waiting.
        // Its thread may still report later, so the completion stays alive.
        ca_context_cancel(context, id);
        completion.release();
    }
    return played;
}

}  // namespace mandel_ui
