#include "notification_sound.h"

#include <canberra.h>

#include <condition_variable>
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

constexpr std::uint32_t kSoundId = 1;

}  // namespace

bool playNotificationSound(std::chrono::milliseconds limit) {
    ca_context* context = nullptr;
    if (ca_context_create(&context) != CA_SUCCESS) return false;
    ca_proplist* props = nullptr;
    if (ca_proplist_create(&props) != CA_SUCCESS) {
        ca_context_destroy(context);
        return false;
    }
    ca_proplist_sets(props, CA_PROP_EVENT_ID, "message-new-instant");
    ca_proplist_sets(props, CA_PROP_EVENT_DESCRIPTION, "Version information closed");
    ca_proplist_sets(props, CA_PROP_CANBERRA_CACHE_CONTROL, "never");

    Completion completion;
    bool played = false;
    if (ca_context_play_full(context, kSoundId, props, onFinished, &completion) == CA_SUCCESS) {
        std::unique_lock lock(completion.mutex);
        if (completion.done.wait_for(lock, limit, [&] { return completion.finished; })) {
            played = completion.error == CA_SUCCESS;
        } else {
            lock.unlock();
            ca_context_cancel(context, kSoundId);
        }
    }
    ca_proplist_destroy(props);
    // Destroying the context also waits for its thread, so the callback can no
    // longer touch `completion` after this.
    ca_context_destroy(context);
    return played;
}

}  // namespace mandel_ui
