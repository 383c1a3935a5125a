#pragma once
// Hints to the operating system about large pixel buffers.
#include <cstddef>

// Asks for the buffer to be backed by huge pages where the system offers them
// on request: a fresh picture of tens of megabytes then costs a few hundred
// page faults instead of thousands when it is first written. Call it before
// the first write; it changes nothing else and may do nothing at all.
void PreferHugePages(void* data, std::size_t bytes);
