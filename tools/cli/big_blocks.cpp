#include "cli/big_blocks.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace {

const size_t big = 1 << 20;
const int kept_max = 8;

// Each block starts with its usable size; the header keeps the 16-byte
// alignment malloc gives.
struct header {
    size_t capacity;
    size_t pad;
};

header* kept[kept_max];
int kept_count = 0;

std::atomic_flag busy = ATOMIC_FLAG_INIT;

// The list is shared by every thread that allocates.
struct hold {
    hold() { while (busy.test_and_set(std::memory_order_acquire)) {} }
    ~hold() { busy.clear(std::memory_order_release); }
};

header* head_of(void* block) { return (header*)block - 1; }

}  // namespace

void* big_alloc(size_t size)
{
    if (size >= big) {
        hold lock;
        // The smallest kept block that fits.
        int best = -1;
        for (int i = 0; i < kept_count; i++)
            if (kept[i]->capacity >= size && (best < 0 || kept[i]->capacity < kept[best]->capacity)) best = i;
        if (best >= 0) {
            header* h = kept[best];
            kept[best] = kept[--kept_count];
            return h + 1;
        }
    }
    if (size > (size_t)-1 - sizeof(header)) return nullptr;
    header* h = (header*)malloc(sizeof(header) + size);
    if (h == nullptr) return nullptr;
    h->capacity = size;
    return h + 1;
}

void big_free(void* block)
{
    if (block == nullptr) return;
    header* h = head_of(block);
    if (h->capacity >= big) {
        hold lock;
        if (kept_count < kept_max) {
            kept[kept_count++] = h;
            return;
        }
        // Full: give back the smallest, keep the larger.
        int smallest = 0;
        for (int i = 1; i < kept_count; i++)
            if (kept[i]->capacity < kept[smallest]->capacity) smallest = i;
        if (kept[smallest]->capacity < h->capacity) {
            free(kept[smallest]);
            kept[smallest] = h;
            return;
        }
    }
    free(h);
}

void* big_realloc(void* block, size_t size)
{
    if (block == nullptr) return big_alloc(size);
    header* h = head_of(block);
    if (size <= h->capacity) return block;
    if (h->capacity < big && size < big) {  // small blocks grow in place where malloc can
        header* grown = (header*)realloc(h, sizeof(header) + size);
        if (grown == nullptr) return nullptr;
        grown->capacity = size;
        return grown + 1;
    }
    void* grown = big_alloc(size);
    if (grown == nullptr) return nullptr;
    memcpy(grown, block, h->capacity);
    big_free(block);
    return grown;
}
