// The allocator's habits for a process that stores documents on many
// threads. glibc gives a thread's freed memory back to the system as soon as
// the top of its heap is free past a small threshold, and maps each block of
// 128 KiB or more on its own; every document (its body, the compressor's
// window) then costs system calls and page faults that a reuse would not.
#pragma once

namespace collector {

// Keeps up to 16 MiB free at the top of each heap and maps only blocks of
// 4 MiB or more apart; peak memory is unchanged. Call before any thread starts.
void KeepFreedMemoryForReuse();

}  // namespace collector
