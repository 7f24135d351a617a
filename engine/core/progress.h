// The progress interface: how the engine reports to whoever runs it (window or terminal) and
// learns that the user wants it to stop. The worker thread calls the operations; the front end
// reads the state through the accessors at the end of this header.
#pragma once

#include <cstdint>
#include <string>

#include "core/grey_image.h"

// Replaces the status line with the printf-formatted text (at most 1023 bytes, cut at a character
// boundary). A null format gives an empty line. Returns false when a stop has been requested.
bool setStatusText(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Keeps the status line up to and including its first ": " and replaces what follows with the
// formatted text; a line without ": " is replaced whole. Returns false when a stop was requested.
bool appendStatusText(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Sets the progress fraction (0 to 1); the value passes through single precision.
void setProgress(float fraction);

// Adds delta to the progress fraction.
void addProgress(float delta);

bool isStopRequested();

// Hands a copy of image to the front end as the latest preview when a preview listener is
// installed (a terminal has none and pays nothing). Returns false, keeping the old preview,
// when a stop has been requested.
bool showPreview(const GreyImage& image);

// Drops the preview.
void clearPreview();

// ---- Several sheets at once ------------------------------------------------------------------

// While a batch lives, the progress fraction is the whole job's: sheets finished plus the
// fractions of the sheets in progress, over the total. Only one batch runs at a time.
class BatchProgress {
public:
    explicit BatchProgress(int total);
    ~BatchProgress();
    BatchProgress(const BatchProgress&) = delete;
    BatchProgress& operator=(const BatchProgress&) = delete;
};

// One sheet of a batch on the calling thread, from its making to its end: setProgress and
// addProgress move this sheet's fraction, and the status line and the preview follow only the
// sheet started last (the others' calls change nothing, and still answer whether a stop was
// requested). At its end the sheet counts as finished.
class SheetScope {
public:
    SheetScope();
    ~SheetScope();
    SheetScope(const SheetScope&) = delete;
    SheetScope& operator=(const SheetScope&) = delete;

private:
    int slot_;
};

// ---- The front end's side -------------------------------------------------------------------

// Asks the running job to stop; safe to call from a signal handler.
void requestStop();

// The flags the front end sets when a job starts and the folder job clears at its end.
void setJobRunning(bool running);
bool isJobRunning();
void clearStopRequest();

// Called after every preview change (erase is true when the preview was dropped); it runs on the
// worker thread and must only schedule a repaint.
using PreviewListener = void (*)(void* context, bool erase);

// Installs the listener; nullptr stops keeping previews.
void setPreviewListener(PreviewListener listener, void* context);

// Copies the latest preview into out and answers true, or answers false when there is none.
bool copyPreview(GreyImage& out);

// The status line as UTF-8, and whether it changed since the last call (which clears the flag).
std::string takeStatusText(bool* changed);

// The progress fraction, 0 to 1.
double progressFraction();
