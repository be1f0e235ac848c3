// Every allocation of the host program goes through big_blocks, so the image
// buffers (std::vector) reuse the blocks the decoder and encoder give back.
#include <cstdio>
#include <cstdlib>
#include <new>

#include "cli/big_blocks.h"
#include "cli/options.h"

// Running out of memory ends the program with one line, like every other
// error, instead of an unhandled exception.
void* operator new(size_t size)
{
    void* p = big_alloc(size == 0 ? 1 : size);
    if (p == nullptr) {
        std::fputs("glimmora: error: out of memory (the image is too large for this machine)\n", stderr);
        std::fflush(stderr);
        std::_Exit(exit_input);
    }
    return p;
}

void* operator new[](size_t size)
{
    return operator new(size);
}

void* operator new(size_t size, const std::nothrow_t&) noexcept
{
    return big_alloc(size == 0 ? 1 : size);
}

void* operator new[](size_t size, const std::nothrow_t&) noexcept
{
    return big_alloc(size == 0 ? 1 : size);
}

void operator delete(void* p) noexcept
{
    big_free(p);
}

void operator delete[](void* p) noexcept
{
    big_free(p);
}

void operator delete(void* p, size_t) noexcept
{
    big_free(p);
}

void operator delete[](void* p, size_t) noexcept
{
    big_free(p);
}
