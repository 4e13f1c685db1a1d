#pragma once

// A fixed table of the temporary files that are being written, so that a
// signal handler can remove them without allocating or locking.

#include <string>

namespace mandel::uncommitted {

// Remembers path until forget(slot). Returns the slot, or -1 when the table
// is full or the path too long (the file is then simply not listed).
int remember(const std::string& path) noexcept;
void forget(int slot) noexcept;
// Unlinks every remembered path. Async-signal-safe.
void removeAllNow() noexcept;

}  // namespace mandel::uncommitted
