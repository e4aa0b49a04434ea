// Proves that code releases what it made: counts RuntimeHeap blocks between
// construction and the check.
#pragma once

#include "runtime/core/heap.h"

#include <cstdint>

class HeapBalance {
public:
    HeapBalance() : start_(RuntimeLiveBlocks()) {}
    int64_t Delta() const { return RuntimeLiveBlocks() - start_; }

private:
    int64_t start_;
};
