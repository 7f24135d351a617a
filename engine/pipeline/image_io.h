// The layer between image files (through FreeImage) and GreyImage.
#pragma once

#include "core/grey_image.h"

// Initialises FreeImage and registers freeImageMessage as its message handler. Call once at
// start-up, before any image is loaded.
void initImageIo();

// Loads the file at path (UTF-8) as an 8-bit grey image, whatever its format and depth. The
// format is taken from the contents, else from the extension. Returns 0 on success; 1 when the
// file cannot be read as an image, leaving image empty (0 x 0).
int loadGreyImage(const char* path, GreyImage& image);

// Writes image to path in the format its extension names, at 8 bits per pixel. The file is
// written under a temporary name in the same folder, flushed to disk and renamed into place, so
// path never holds a partial image. Returns 0 when written, 1 otherwise (nothing is left behind).
int saveGreyImage(const char* path, const GreyImage& image);

// Removes the output file being written at this moment, if any. Safe in a signal handler; for a
// process that is about to end abruptly.
void removePartialOutput();

// FreeImage's output-message handler: "\n*** ", "%s Format\n" when the format is known, the
// message, " ***\n", all on the trace output.
void freeImageMessage(int format, const char* message);
