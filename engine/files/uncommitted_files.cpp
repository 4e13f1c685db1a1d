#include "files/uncommitted_files.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <cstring>

namespace mandel::uncommitted {

namespace {

constexpr int kSlots = 16;

enum SlotState : int { Free, Filling, Listed };

struct Slot {
    std::atomic<int> state{Free};
    int folderFd = -1;
    char name[NAME_MAX + 1];
};

Slot slots[kSlots];
static_assert(std::atomic<int>::is_always_lock_free, "a signal handler reads the slot states");

}  // namespace

int remember(int folderFd, const std::string& name) noexcept {
    if (name.size() > NAME_MAX) return -1;
    for (int i = 0; i < kSlots; ++i) {
        int expected = Free;
        if (!slots[i].state.compare_exchange_strong(expected, Filling)) continue;
        slots[i].folderFd = folderFd;
        std::memcpy(slots[i].name, name.c_str(), name.size() + 1);
        slots[i].state.store(Listed, std::memory_order_release);
        return i;
    }
    return -1;
}

void forget(int slot) noexcept {
    if (slot >= 0 && slot < kSlots) slots[slot].state.store(Free, std::memory_order_release);
}

void removeAllNow() noexcept {
    for (Slot& slot : slots)
        if (slot.state.load(std::memory_order_acquire) == Listed) ::unlinkat(slot.folderFd, slot.name, 0);
}

}  // namespace mandel::uncommitted
