#include "core/heap_reuse.h"

#include <cstdlib>  // defines __GLIBC__ where the C library is glibc

#if defined(__GLIBC__)
#include <malloc.h>
#endif

void keepFreedSheetMemory() {
#if defined(__GLIBC__)
    // glibc raises its own threshold for mapping a block apart up to 32 MiB as blocks are freed,
    // but trims the heap's top after each large free; fixing both keeps the pages mapped. A block
    // larger than 32 MiB (a float copy of a large sheet) is still mapped apart and returned whole.
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 256 * 1024 * 1024);
#endif
}
