// The layer between image files (through FreeImage) and GreyImage.
#pragma once

#include <string>

#include "core/grey_image.h"

// Initialises FreeImage and registers freeImageMessage as its message handler. Call once at
// start-up, before any image is loaded.
void initImageIo();

// The largest sheet accepted, in pixels. The pipeline needs about 17 bytes per pixel at its
// peak, so a sheet of this size takes some 7 GB: an A4 spread scanned at 1200 dpi (278 million
// pixels) passes, and two sheets at the limit still fit in a 24 GiB machine.
constexpr long long kLargestSheetPixels = 400'000'000;

// Results of loadGreyImage.
enum LoadResult {
    kLoaded = 0,
    kLoadUnreadable = 1,  // not an image FreeImage can read, or damaged
    kLoadTooLarge = 2,    // more than kLargestSheetPixels pixels, or no memory for them
};

// Loads the file at path (UTF-8) as an 8-bit grey image, whatever its format and depth; colour
// turns grey, transparent parts white. The format is taken from the contents, else from the
// extension. Returns a LoadResult; on failure image is left empty (0 x 0). A JPEG cut short is
// unreadable. Where the format allows, the size is read from the header first, so an oversized
// sheet is refused before its pixels are decoded. The decoding runs in a child process: a file
// that crashes the decoder, or keeps it busy past the time limit, is unreadable (the cause is
// traced) and cannot harm the caller. A stop request (core/progress.h) abandons the decoding at
// once; the result is then kLoadUnreadable.
// The file's resolution goes to resolution when given (0 where the file states none).
struct ImageResolution {
    unsigned dotsPerMeterX = 0;
    unsigned dotsPerMeterY = 0;
};
int loadGreyImage(const char* path, GreyImage& image, ImageResolution* resolution = nullptr);

// The longest the decoding of one file may take, in seconds (60 unless set).
void setDecoderTimeout(int seconds);

// Runs task(argument) in a child process and answers its result (0 to 255), or -1 when it
// crashed, ran past timeoutSeconds or a stop was requested (it is then killed). The child is
// forked from the decoder server (see initImageIo), never from the calling thread, so any thread
// may call this. The task's trace lines are lost: it tells what it found through files or its
// result.
using IsolatedTask = int (*)(const std::string& argument);
int runIsolated(IsolatedTask task, const std::string& argument, int timeoutSeconds);

// Writes image to path in the format its extension names, at 8 bits per pixel. The file is
// written under a temporary name in the same folder, flushed to disk and renamed into place, so
// path never holds a partial image. Returns 0 when written, 1 otherwise (nothing is left behind).
// The resolution is stored where the format holds one and it is known (not 0); a JPEG is written
// at jpegQuality (1 to 100).
struct SaveSettings {
    ImageResolution resolution;
    int jpegQuality = 95;
};
int saveGreyImage(const char* path, const GreyImage& image, const SaveSettings& settings = SaveSettings());

// True when saveGreyImage can write the format that path's extension names (the output of a
// sheet keeps its input's format, and some formats are read-only).
bool canSaveGreyAs(const char* path);

// Removes the output files being written at this moment, if any. Safe in a signal handler; for
// a process that is about to end abruptly.
void removePartialOutput();

// FreeImage's output-message handler: "\n*** ", "%s Format\n" when the format is known, the
// message, " ***\n", all on the trace output.
void freeImageMessage(int format, const char* message);

// The version of the image library (FreeImage) loaded at run time.
const char* imageLibraryVersion();
