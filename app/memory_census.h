// Where the test build's memory is, by holder, for the line each lookup
// prints (SONGLINK_TEST_PROBES): the runtime's blocks, the heaps, the rest of
// the committed private memory (thread stacks, the libraries' own
// VirtualAlloc regions), the mapped and image pages, the thread count and the
// platform's URL cache. A growth in one figure over many lookups names its
// holder; the program proper does not carry this.
#pragma once

#include <string>

// One line, "memory: ..." followed by the figures in kilobytes and counts.
std::string MemoryCensusLine();
