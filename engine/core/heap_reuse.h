// How the process's heap treats the sheet-sized buffers the pipeline allocates and frees many
// times per sheet.
#pragma once

// Keeps freed sheet buffers (up to 32 MiB each) in the heap for the next allocation instead of
// handing them back to the system: every buffer handed back costs a page fault per 4 KiB when the
// next one is touched, about a tenth of a sheet's time. The heap keeps up to 256 MiB free at its
// top. Call once at start-up, before the first sheet; it only tunes the allocator (glibc), and
// does nothing elsewhere.
void keepFreedSheetMemory();
