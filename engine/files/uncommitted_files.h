#pragma once

// A fixed table of the temporary files that are being written, so that a
// signal handler can remove them without allocating or locking. Each file is
// named relative to an open descriptor of its folder, so that it is found
// even after the folder was renamed.

#include <string>

namespace mandel::uncommitted {

// Remembers the file `name` in the folder open as folderFd until
// forget(slot). Returns the slot, or -1 when the table is full or the name too
// long (the file is then simply not listed).
int remember(int folderFd, const std::string& name) noexcept;
void forget(int slot) noexcept;
// Unlinks every remembered file. Async-signal-safe.
void removeAllNow() noexcept;

}  // namespace mandel::uncommitted
