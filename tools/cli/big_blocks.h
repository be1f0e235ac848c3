// Memory for whole images, kept for reuse within the run of the program.
//
// A fresh block of tens of megabytes costs a page fault for every 4 KiB the
// first time it is touched, and on some machines that costs more than the
// filter itself.  The host holds several image-sized buffers one after the
// other (the decoder's, the image, the result, the encoder's), so blocks of
// 1 MiB and more are not given back when freed but handed to the next large
// request that fits.  Smaller blocks go straight to malloc.
#pragma once

#include <cstddef>

void* big_alloc(size_t size);
void* big_realloc(void* block, size_t size);
void big_free(void* block);
