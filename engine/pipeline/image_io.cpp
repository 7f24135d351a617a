#include "pipeline/image_io.h"

#include <FreeImage.h>
#include <fcntl.h>
#include <tiffio.h>
#include <unistd.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "core/text_strings.h"
#include "core/trace.h"

namespace {

constexpr unsigned kRedMask = 0xFF0000;
constexpr unsigned kGreenMask = 0xFF00;
constexpr unsigned kBlueMask = 0xFF;

// The temporary file being written, kept where a signal handler can reach it.
char g_partialPath[4096];
std::atomic<bool> g_partialActive{false};

void DLL_CALLCONV onFreeImageMessage(FREE_IMAGE_FORMAT fif, const char* message) {
    freeImageMessage(static_cast<int>(fif), message);
}

// libtiff, which FreeImage uses for TIFF files, reports through handlers of its own that write to
// standard error. Its messages are routed to the trace like FreeImage's, except the
// "unknown tag" complaints that every TIFF save raises when FreeImage registers its EXIF fields:
// they say nothing about the file.
void onTiffMessage(const char* module, const char* format, va_list args) {
    char text[1024];
    std::vsnprintf(text, sizeof text, format, args);
    if (module && std::strcmp(module, "TIFFFieldWithTag") == 0 &&
        std::strstr(text, "unknown tag")) {
        return;
    }
    char framed[1200];
    std::snprintf(framed, sizeof framed, "%s: %s", module ? module : "libtiff", text);
    freeImageMessage(FIF_TIFF, framed);
}

// Owns one FreeImage bitmap for the length of a call.
class Bitmap {
public:
    explicit Bitmap(FIBITMAP* dib = nullptr) : dib_(dib) {}
    ~Bitmap() {
        if (dib_) FreeImage_Unload(dib_);
    }
    Bitmap(const Bitmap&) = delete;
    Bitmap& operator=(const Bitmap&) = delete;
    FIBITMAP* get() const { return dib_; }

private:
    FIBITMAP* dib_;
};

// The temporary name beside path: the same folder, a hidden name that no later run takes as a
// sheet (the folder job skips hidden files).
sjisString partialPathFor(const char* path) {
    const sjisString full(path);
    const sjisString name = full.fileName();
    sjisString folder;
    const uint32_t folderLength = full.length() - name.length();
    for (uint32_t k = 0; k < folderLength; ++k) folder.append(full.c_str()[k]);
    char prefix[64];
    std::snprintf(prefix, sizeof prefix, ".tovel-part-%ld-", static_cast<long>(getpid()));
    return folder + sjisString(prefix) + name;
}

// Flushes the file at path to the disk; false when it cannot be opened or synced.
bool syncFile(const char* path) {
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = fsync(fd) == 0;
    close(fd);
    return ok;
}

void syncFolderOf(const char* path) {
    const sjisString full(path);
    sjisString folder;
    const uint32_t folderLength = full.length() - full.fileName().length();
    for (uint32_t k = 0; k < folderLength; ++k) folder.append(full.c_str()[k]);
    if (folder.empty()) folder = ".";
    syncFile(folder.c_str());
}

// Saves bitmap to path in the format the path's extension names, checking that FreeImage can
// write that format at the bitmap's depth. The data goes to a temporary file that is renamed
// into place only when complete.
bool saveImage(FIBITMAP* bitmap, const char* path, int flags) {
    if (!bitmap) return false;
    const FREE_IMAGE_FORMAT fif = FreeImage_GetFIFFromFilename(path);
    if (fif == FIF_UNKNOWN) return false;
    const unsigned bpp = FreeImage_GetBPP(bitmap);
    if (!FreeImage_FIFSupportsWriting(fif)) return false;
    if (!FreeImage_FIFSupportsExportBPP(fif, static_cast<int>(bpp))) return false;

    const sjisString partial = partialPathFor(path);
    if (partial.length() >= sizeof g_partialPath) return false;
    std::memcpy(g_partialPath, partial.c_str(), partial.length() + 1);
    g_partialActive = true;
    bool ok = FreeImage_Save(fif, bitmap, partial.c_str(), flags) == 1;
    ok = ok && syncFile(partial.c_str());
    ok = ok && std::rename(partial.c_str(), path) == 0;
    if (!ok) unlink(partial.c_str());
    g_partialActive = false;
    if (ok) syncFolderOf(path);
    return ok;
}

}  // namespace

void initImageIo() {
    FreeImage_Initialise(FALSE);
    FreeImage_SetOutputMessage(onFreeImageMessage);
    TIFFSetErrorHandler(onTiffMessage);
    TIFFSetWarningHandler(onTiffMessage);
}

int loadGreyImage(const char* path, GreyImage& image) {
    image.reset(0, 0, 255);
    FREE_IMAGE_FORMAT fif = FreeImage_GetFileType(path, 0);
    if (fif == FIF_UNKNOWN) fif = FreeImage_GetFIFFromFilename(path);
    if (fif == FIF_UNKNOWN || !FreeImage_FIFSupportsReading(fif)) return 1;
    Bitmap bitmap(FreeImage_Load(fif, path, 0));
    if (!bitmap.get()) return 1;

    // 16-bit and floating-point sheets are first brought to a standard 8-bit-per-channel bitmap,
    // which the greyscale conversion accepts.
    Bitmap standard(FreeImage_GetImageType(bitmap.get()) == FIT_BITMAP
                        ? nullptr
                        : FreeImage_ConvertToStandardType(bitmap.get(), TRUE));
    FIBITMAP* source = standard.get() ? standard.get() : bitmap.get();
    if (FreeImage_GetImageType(source) != FIT_BITMAP) return 1;

    Bitmap grey(FreeImage_ConvertToGreyscale(source));
    if (!grey.get()) return 1;
    const unsigned width = FreeImage_GetWidth(grey.get());
    const unsigned height = FreeImage_GetHeight(grey.get());
    const uint64_t size = static_cast<uint64_t>(width) * height;
    if (width == 0 || height == 0 || size >= 0x80000000ull) return 1;

    image.width = static_cast<int>(width);
    image.height = static_cast<int>(height);
    image.pixels.setCount(static_cast<uint32_t>(size));
    FreeImage_ConvertToRawBits(image.pixels.data(), grey.get(), static_cast<int>(width), 8,
                               kRedMask, kGreenMask, kBlueMask, TRUE);
    return 0;
}

int saveGreyImage(const char* path, const GreyImage& image) {
    if (image.width <= 0 || image.height <= 0) return 1;
    Bitmap bitmap(FreeImage_ConvertFromRawBits(const_cast<unsigned char*>(image.pixels.data()),
                                               image.width, image.height, image.width, 8, kRedMask,
                                               kGreenMask, kBlueMask, TRUE));
    return saveImage(bitmap.get(), path, 0) ? 0 : 1;
}

void removePartialOutput() {
    if (g_partialActive) unlink(g_partialPath);
}

void freeImageMessage(int format, const char* message) {
    trace("\n*** ");
    if (format != FIF_UNKNOWN) {
        const char* name = FreeImage_GetFormatFromFIF(static_cast<FREE_IMAGE_FORMAT>(format));
        trace("%s Format\n", name ? name : "");
    }
    trace("%s", message ? message : "");
    trace(" ***\n");
}
