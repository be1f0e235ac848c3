// A small seeded generator (xorshift64) for the randomized tests: the same
// seed gives the same cases on every machine, so a failure can be replayed.
#pragma once
#include <cstdint>

struct rng {
    uint64_t x;
    uint32_t next() {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        return static_cast<uint32_t>(x >> 32);
    }
    int32_t in(int32_t lo, int32_t hi) { return lo + static_cast<int32_t>(next() % static_cast<uint32_t>(hi - lo + 1)); }
};
