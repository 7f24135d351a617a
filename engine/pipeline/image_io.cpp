#include "pipeline/image_io.h"

#include <FreeImage.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "core/file_sync.h"
#include "core/progress.h"
#include "core/text_strings.h"
#include "core/trace.h"

namespace {

constexpr unsigned kRedMask = 0xFF0000;
constexpr unsigned kGreenMask = 0xFF00;
constexpr unsigned kBlueMask = 0xFF;

// The temporary files being written, one slot per sheet saved at once, kept where a signal
// handler can reach them.
constexpr int kPartialSlots = 64;
char g_partialPath[kPartialSlots][4096];
std::atomic<bool> g_partialClaimed[kPartialSlots];
std::atomic<bool> g_partialActive[kPartialSlots];

// In the process that decodes an image for loadGreyImage: the pipe to the parent, which traces
// the decoder's messages. -1 everywhere else.
int g_decoderChannel = -1;

void reportDecoderMessage(int format, const char* message);

void DLL_CALLCONV onFreeImageMessage(FREE_IMAGE_FORMAT fif, const char* message) {
    reportDecoderMessage(static_cast<int>(fif), message);
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
    reportDecoderMessage(FIF_TIFF, framed);
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

// FreeImage's file callbacks over a stdio stream.
FILE* streamOf(fi_handle handle) { return static_cast<FILE*>(handle); }
unsigned DLL_CALLCONV readStream(void* buffer, unsigned size, unsigned count, fi_handle handle) {
    return static_cast<unsigned>(std::fread(buffer, size, count, streamOf(handle)));
}
unsigned DLL_CALLCONV writeStream(void* buffer, unsigned size, unsigned count, fi_handle handle) {
    return static_cast<unsigned>(std::fwrite(buffer, size, count, streamOf(handle)));
}
int DLL_CALLCONV seekStream(fi_handle handle, long offset, int origin) {
    return std::fseek(streamOf(handle), offset, origin);
}
long DLL_CALLCONV tellStream(fi_handle handle) { return std::ftell(streamOf(handle)); }

// Writes bitmap as a new file at path and flushes it to the disk. FreeImage_Save ignores
// errors of the last buffered write and of closing the file, so on a full disk it reports
// success for a cut-short file; here every write error counts.
bool writeWholeFile(FREE_IMAGE_FORMAT fif, FIBITMAP* bitmap, const char* path, int flags) {
    FILE* file = std::fopen(path, "w+b");  // some writers read back what they wrote
    if (!file) return false;
    FreeImageIO io{readStream, writeStream, seekStream, tellStream};
    bool ok = FreeImage_SaveToHandle(fif, bitmap, &io, file, flags) == 1;
    ok = ok && std::fflush(file) == 0 && !std::ferror(file) && fsync(fileno(file)) == 0;
    return std::fclose(file) == 0 && ok;
}

// Registers a temporary file for removePartialOutput while it is being written. Not held when
// the path is too long or every slot is taken (more saves at once than any job runs).
class PartialSlot {
public:
    explicit PartialSlot(const sjisString& path) {
        if (path.length() >= sizeof g_partialPath[0]) return;
        for (int k = 0; k < kPartialSlots && slot_ < 0; ++k) {
            bool expected = false;
            if (g_partialClaimed[k].compare_exchange_strong(expected, true)) slot_ = k;
        }
        if (slot_ < 0) return;
        std::memcpy(g_partialPath[slot_], path.c_str(), path.length() + 1);
        g_partialActive[slot_] = true;
    }
    ~PartialSlot() {
        if (slot_ < 0) return;
        g_partialActive[slot_] = false;
        g_partialClaimed[slot_] = false;
    }
    PartialSlot(const PartialSlot&) = delete;
    PartialSlot& operator=(const PartialSlot&) = delete;
    bool held() const { return slot_ >= 0; }

private:
    int slot_ = -1;
};

// The format whose name or one of whose extensions matches the extension of path's file name,
// ignoring case; FIF_UNKNOWN when none does. FreeImage's own lookup by file name splits the
// extension lists with strtok, whose state the whole process shares: two sheets saved at once
// could each read the other's list and find no format. This one reads the lists in place.
FREE_IMAGE_FORMAT formatFromFileName(const char* path) {
    const char* slash = std::strrchr(path, '/');
    const char* name = slash ? slash + 1 : path;
    const char* dot = std::strrchr(name, '.');
    if (!dot || dot[1] == '\0') return FIF_UNKNOWN;
    const std::string_view extension(dot + 1);
    const auto same = [&](std::string_view word) {
        return word.size() == extension.size() &&
               std::equal(word.begin(), word.end(), extension.begin(), [](char a, char b) {
                   return std::tolower(static_cast<unsigned char>(a)) ==
                          std::tolower(static_cast<unsigned char>(b));
               });
    };
    for (int i = 0; i < FreeImage_GetFIFCount(); ++i) {
        const auto fif = static_cast<FREE_IMAGE_FORMAT>(i);
        if (FreeImage_IsPluginEnabled(fif) != TRUE) continue;
        const char* format = FreeImage_GetFormatFromFIF(fif);
        if (format && same(format)) return fif;
        const char* list = FreeImage_GetFIFExtensionList(fif);
        if (!list) continue;
        for (std::string_view rest(list); !rest.empty();) {
            const size_t comma = rest.find(',');
            if (same(rest.substr(0, comma))) return fif;
            rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
        }
    }
    return FIF_UNKNOWN;
}

// Saves bitmap to path in the format the path's extension names, checking that FreeImage can
// write that format at the bitmap's depth. The data goes to a temporary file that is renamed
// into place only when complete.
bool saveImage(FIBITMAP* bitmap, const char* path, int flags) {
    if (!bitmap) return false;
    const FREE_IMAGE_FORMAT fif = formatFromFileName(path);
    if (fif == FIF_UNKNOWN) return false;
    const unsigned bpp = FreeImage_GetBPP(bitmap);
    if (!FreeImage_FIFSupportsWriting(fif)) return false;
    if (!FreeImage_FIFSupportsExportBPP(fif, static_cast<int>(bpp))) return false;

    const sjisString partial = partialPathFor(path);
    const PartialSlot slot(partial);
    if (!slot.held()) return false;
    bool ok = writeWholeFile(fif, bitmap, partial.c_str(), flags);
    ok = ok && std::rename(partial.c_str(), path) == 0;
    if (!ok) unlink(partial.c_str());
    if (ok) syncFolderOf(path);
    return ok;
}

// True when the JPEG file at path runs from its start-of-image marker to its end-of-image
// marker. The decoder takes a file that was cut short without failing and paints the missing
// part grey, so a truncated scan would otherwise pass as a sheet. The segments are walked by
// their lengths; inside scan data a 0xFF is followed by 0x00 (a stuffed byte) or a restart
// marker, anything else being the next marker. Bytes after the end marker do not matter.
bool jpegReachesItsEnd(const char* path) {
    FILE* file = std::fopen(path, "rb");
    if (!file) return false;
    bool complete = false;
    if (std::getc(file) == 0xFF && std::getc(file) == 0xD8) {
        int c = std::getc(file);
        for (;;) {
            while (c != EOF && c != 0xFF) c = std::getc(file);  // stray bytes between segments
            while (c == 0xFF) c = std::getc(file);              // fill bytes
            if (c == EOF) break;
            const int marker = c;
            if (marker == 0xD9) {
                complete = true;
                break;
            }
            c = std::getc(file);
            if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;  // no length
            const int low = std::getc(file);
            if (c == EOF || low == EOF) break;
            const long length = c * 256L + low;
            if (length < 2 || std::fseek(file, length - 2, SEEK_CUR) != 0) break;
            c = std::getc(file);
            if (marker != 0xDA) continue;
            // Scan data up to the next marker; c is left on that marker's 0xFF.
            for (;;) {
                while (c != EOF && c != 0xFF) c = std::getc(file);
                if (c == EOF) break;
                int next = std::getc(file);
                while (next == 0xFF) next = std::getc(file);
                if (next == 0x00 || (next >= 0xD0 && next <= 0xD7)) {
                    c = std::getc(file);
                    continue;
                }
                if (next != EOF) std::ungetc(next, file);
                break;
            }
        }
    }
    std::fclose(file);
    return complete;
}

// A bitmap of 8 bits per channel made from one of another pixel type (16-bit grey or colour,
// floating-point grey); nullptr when dib already is one, or cannot be converted. The
// standard-type conversion knows one-channel types only; 16-bit colour (48- and 64-bit scans)
// goes through the 24- and 32-bit conversions.
FIBITMAP* toStandardBitmap(FIBITMAP* dib) {
    switch (FreeImage_GetImageType(dib)) {
        case FIT_BITMAP: return nullptr;
        case FIT_RGB16: return FreeImage_ConvertTo24Bits(dib);
        case FIT_RGBA16: return FreeImage_ConvertTo32Bits(dib);
        default: return FreeImage_ConvertToStandardType(dib, TRUE);
    }
}

bool tooLarge(unsigned width, unsigned height) {
    return static_cast<long long>(width) * height > kLargestSheetPixels;
}

// loadGreyImage in this process: FreeImage decodes the file, the result is made grey.
int decodeGreyImage(const char* path, GreyImage& image, ImageResolution& resolution) {
    image.reset(0, 0, 255);
    resolution = ImageResolution();
    FREE_IMAGE_FORMAT fif = FreeImage_GetFileType(path, 0);
    if (fif == FIF_UNKNOWN) fif = formatFromFileName(path);
    if (fif == FIF_UNKNOWN || !FreeImage_FIFSupportsReading(fif)) return kLoadUnreadable;
    if (FreeImage_FIFSupportsNoPixels(fif)) {
        const Bitmap header(FreeImage_Load(fif, path, FIF_LOAD_NOPIXELS));
        FIBITMAP* h = header.get();
        if (h && tooLarge(FreeImage_GetWidth(h), FreeImage_GetHeight(h))) return kLoadTooLarge;
    }
    if (fif == FIF_JPEG && !jpegReachesItsEnd(path)) return kLoadUnreadable;
    Bitmap bitmap(FreeImage_Load(fif, path, 0));
    if (!bitmap.get()) return kLoadUnreadable;
    if (tooLarge(FreeImage_GetWidth(bitmap.get()), FreeImage_GetHeight(bitmap.get()))) {
        return kLoadTooLarge;
    }

    // 16-bit and floating-point sheets are first brought to a standard 8-bit-per-channel bitmap,
    // which the greyscale conversion accepts.
    Bitmap standard(toStandardBitmap(bitmap.get()));
    FIBITMAP* source = standard.get() ? standard.get() : bitmap.get();
    if (FreeImage_GetImageType(source) != FIT_BITMAP) return kLoadUnreadable;

    // Transparent parts of a sheet are blank paper: the sheet is laid on white before it turns
    // grey, so a transparent background whose colour happens to be black stays white.
    RGBQUAD white{255, 255, 255, 0};
    Bitmap flattened(FreeImage_IsTransparent(source)
                         ? FreeImage_Composite(source, FALSE, &white, nullptr)
                         : nullptr);
    if (flattened.get()) source = flattened.get();

    Bitmap grey(FreeImage_ConvertToGreyscale(source));
    if (!grey.get()) return kLoadUnreadable;
    const unsigned width = FreeImage_GetWidth(grey.get());
    const unsigned height = FreeImage_GetHeight(grey.get());
    const uint64_t size = static_cast<uint64_t>(width) * height;
    if (width == 0 || height == 0) return kLoadUnreadable;

    image.width = static_cast<int>(width);
    image.height = static_cast<int>(height);
    image.pixels.setCount(static_cast<uint32_t>(size));
    if (image.pixels.capacity() < size) {  // no memory for the pixels
        image.reset(0, 0, 255);
        return kLoadTooLarge;
    }
    FreeImage_ConvertToRawBits(image.pixels.data(), grey.get(), static_cast<int>(width), 8,
                               kRedMask, kGreenMask, kBlueMask, TRUE);
    resolution.dotsPerMeterX = FreeImage_GetDotsPerMeterX(bitmap.get());
    resolution.dotsPerMeterY = FreeImage_GetDotsPerMeterY(bitmap.get());
    return kLoaded;
}

// ---- Decoding in a child process ------------------------------------------------------------
//
// FreeImage's decoders write past their buffers on some malformed files (a PICT bitmap whose row
// length is 0, for one), and loop forever on others (any PICT file too short to hold a picture),
// which would take the whole job down, quietly damage its memory or never end. So loadGreyImage
// decodes in a child process and receives the grey pixels through a pipe, within a time limit:
// a file that breaks the decoder is an unreadable file, and nothing else is touched. The child
// sends records: 'm', the format (int32), the length (uint32) and the text of each decoder
// message; then 'r', the result, width and height (int32 each), followed by the pixels when
// loaded.

std::atomic<int> g_decoderTimeout{60};  // seconds

constexpr char kMessageRecord = 'm';
constexpr char kResultRecord = 'r';
constexpr char kPidRecord = 'p';   // the decoding process's id (int32), sent first
constexpr char kExitRecord = 'x';  // its wait status (int32), sent by the process that waited for it

bool writeAll(int fd, const void* data, size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = write(fd, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// The parent's end of the pipe. Reads give up when the pipe ends, when the decoder has taken
// longer than the time limit in all, or at once when a stop is requested.
class DecoderAnswer {
public:
    explicit DecoderAnswer(int fd, int seconds = g_decoderTimeout)
        : fd_(fd), deadline_(std::chrono::steady_clock::now() + std::chrono::seconds(seconds)) {}

    bool read(void* data, size_t size) {
        char* p = static_cast<char*>(data);
        while (size > 0) {
            pollfd ready{fd_, POLLIN, 0};
            const int n = poll(&ready, 1, 100);
            if (n < 0 && errno != EINTR) return false;
            if (n <= 0) {  // nothing yet, or a signal (Ctrl-C)
                if (isStopRequested()) {
                    stopped_ = true;
                    return false;
                }
                if (std::chrono::steady_clock::now() > deadline_) {
                    timedOut_ = true;
                    return false;
                }
                continue;
            }
            const ssize_t got = ::read(fd_, p, size);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) return false;
            p += got;
            size -= static_cast<size_t>(got);
        }
        return true;
    }

    bool stopped() const { return stopped_; }
    bool timedOut() const { return timedOut_; }

private:
    int fd_;
    std::chrono::steady_clock::time_point deadline_;
    bool stopped_ = false;
    bool timedOut_ = false;
};

void reportDecoderMessage(int format, const char* message) {
    if (g_decoderChannel < 0) {
        freeImageMessage(format, message);
        return;
    }
    const int32_t fif = format;
    const uint32_t length = message ? static_cast<uint32_t>(std::strlen(message)) : 0;
    writeAll(g_decoderChannel, &kMessageRecord, 1);
    writeAll(g_decoderChannel, &fif, sizeof fif);
    writeAll(g_decoderChannel, &length, sizeof length);
    writeAll(g_decoderChannel, message ? message : "", length);
}

// The child: decodes path, sends what came out and ends. Ctrl-C is for the parent to handle; a
// crash must end the child at once, whatever handlers the parent had.
[[noreturn]] void runDecoder(const char* path, int channel, pid_t parent) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);  // a decoder must not outlive the job
    if (getppid() != parent) _exit(1);
    for (const int s : {SIGINT, SIGTERM}) signal(s, SIG_IGN);
    for (const int s : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) signal(s, SIG_DFL);
    g_decoderChannel = channel;
    const int32_t self = getpid();
    if (!writeAll(channel, &kPidRecord, 1) || !writeAll(channel, &self, sizeof self)) _exit(1);
    GreyImage image;
    ImageResolution resolution;
    const int32_t result = decodeGreyImage(path, image, resolution);
    const int32_t head[5] = {result, image.width, image.height, static_cast<int32_t>(resolution.dotsPerMeterX),
                             static_cast<int32_t>(resolution.dotsPerMeterY)};
    bool ok = writeAll(channel, &kResultRecord, 1) && writeAll(channel, head, sizeof head);
    if (ok && head[0] == kLoaded) ok = writeAll(channel, image.pixels.data(), image.size());
    _exit(ok ? 0 : 1);
}

// What the job learns of the process that decodes: its id, and how it ended once that is known.
struct DecoderTrail {
    pid_t pid = -1;
    bool ended = false;
    int status = 0;  // a wait status
};

// The parent: traces the child's messages and reads its result into image. Answers the result,
// or -1 when the records stop short (the child died, took too long, or a stop was requested).
int receiveImage(DecoderAnswer& answer, GreyImage& image, ImageResolution& resolution, DecoderTrail& trail) {
    for (;;) {
        char kind = 0;
        if (!answer.read(&kind, 1)) return -1;
        if (kind == kPidRecord || kind == kExitRecord) {
            int32_t value = 0;
            if (!answer.read(&value, sizeof value)) return -1;
            if (kind == kPidRecord) {
                trail.pid = value;
                continue;
            }
            trail.ended = true;
            trail.status = value;
            return -1;  // it ended before its result
        }
        if (kind == kMessageRecord) {
            int32_t fif = 0;
            uint32_t length = 0;
            if (!answer.read(&fif, sizeof fif) || !answer.read(&length, sizeof length) ||
                length > (1u << 20)) {
                return -1;
            }
            std::vector<char> text(length + 1, '\0');
            if (!answer.read(text.data(), length)) return -1;
            freeImageMessage(fif, text.data());
            continue;
        }
        int32_t head[5] = {0, 0, 0, 0, 0};
        if (kind != kResultRecord || !answer.read(head, sizeof head)) return -1;
        if (head[0] != kLoaded) return head[0];
        resolution.dotsPerMeterX = static_cast<unsigned>(std::max(head[3], 0));
        resolution.dotsPerMeterY = static_cast<unsigned>(std::max(head[4], 0));
        if (head[1] <= 0 || head[2] <= 0) return -1;
        const unsigned width = static_cast<unsigned>(head[1]);
        const unsigned height = static_cast<unsigned>(head[2]);
        if (tooLarge(width, height)) return -1;
        const uint64_t size = static_cast<uint64_t>(width) * height;
        image.width = head[1];
        image.height = head[2];
        image.pixels.setCount(static_cast<uint32_t>(size));
        if (image.pixels.capacity() < size) return kLoadTooLarge;
        return answer.read(image.pixels.data(), size) ? kLoaded : -1;
    }
}

// ---- The decoder server -----------------------------------------------------------------------
//
// A process forked from a process with several threads holds whatever locks those threads held
// at that moment (the memory allocator's, a library's) and waits on them for ever. So the
// decoders are not forked from the job: initImageIo forks one small server while the process
// still runs a single thread, and every decoding is forked from that server. A request is the
// file's path with the job's end of a fresh socket pair attached; for each, the server forks a
// watcher, which forks the decoder (runDecoder writes its records into the socket), waits for it
// and adds an exit record with its wait status. The server ends when the job's end of the request
// socket closes, and every process of the chain dies with its parent.

int g_server = -1;  // the job's end of the request socket; -1 without a server
std::mutex g_serverLock;

// The child of runIsolated: runs task on the argument and ends with its result.
[[noreturn]] void runTask(IsolatedTask task, const std::string& argument, int channel, pid_t parent) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(1);
    for (const int s : {SIGINT, SIGTERM}) signal(s, SIG_IGN);
    for (const int s : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) signal(s, SIG_DFL);
    const int32_t self = getpid();
    if (!writeAll(channel, &kPidRecord, 1) || !writeAll(channel, &self, sizeof self)) _exit(1);
    _exit(task(argument) & 0xFF);
}

// A request to the server: a decoding ('d' and the path) or a task ('t', the function and its
// argument).
constexpr char kDecodeRequest = 'd';
constexpr char kTaskRequest = 't';

[[noreturn]] void watchDecoder(const char* request, size_t size, int channel) {
    const pid_t watcher = getpid();
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    signal(SIGCHLD, SIG_DFL);  // the server ignores it, and waitpid below needs it
    const pid_t decoder = fork();
    if (decoder == 0) {
        if (request[0] == kDecodeRequest) runDecoder(request + 1, channel, watcher);
        IsolatedTask task = nullptr;
        if (request[0] != kTaskRequest || size < 1 + sizeof task) _exit(1);
        std::memcpy(&task, request + 1, sizeof task);
        runTask(task, std::string(request + 1 + sizeof task, size - 1 - sizeof task), channel, watcher);
    }
    int status = 0;
    if (decoder < 0) _exit(1);
    while (waitpid(decoder, &status, 0) < 0 && errno == EINTR) {
    }
    const int32_t value = status;
    if (writeAll(channel, &kExitRecord, 1)) writeAll(channel, &value, sizeof value);
    _exit(0);
}

[[noreturn]] void serveDecoders(int requests, pid_t job) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != job) _exit(0);
    signal(SIGCHLD, SIG_IGN);  // watchers are reaped by the system
    for (const int s : {SIGINT, SIGTERM, SIGPIPE}) signal(s, SIG_IGN);
    static char path[65536];
    for (;;) {
        char control[CMSG_SPACE(sizeof(int))];
        iovec data{path, sizeof path - 1};
        msghdr message{};
        message.msg_iov = &data;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        const ssize_t n = recvmsg(requests, &message, MSG_CMSG_CLOEXEC);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) _exit(0);  // the job has ended
        path[n] = '\0';
        const size_t size = static_cast<size_t>(n);
        int channel = -1;
        for (cmsghdr* c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c))
            if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_RIGHTS) std::memcpy(&channel, CMSG_DATA(c), sizeof channel);
        if (channel < 0) continue;
        if (fork() == 0) {
            close(requests);
            watchDecoder(path, size, channel);
        }
        close(channel);
    }
}

void startDecoderServer() {
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0) return;
    const pid_t job = getpid();
    const pid_t server = fork();
    if (server == 0) {
        close(pair[0]);
        serveDecoders(pair[1], job);
    }
    close(pair[1]);
    if (server < 0) {
        close(pair[0]);
        return;
    }
    g_server = pair[0];
}

// Hands request to the server with channel, the child's end of the answer socket; false when
// there is no server to take it.
bool sendRequest(const std::string& request, int channel) {
    const std::lock_guard<std::mutex> lock(g_serverLock);
    if (g_server < 0) return false;
    char control[CMSG_SPACE(sizeof(int))] = {};
    iovec data{const_cast<char*>(request.data()), request.size()};
    msghdr message{};
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    cmsghdr* c = CMSG_FIRSTHDR(&message);
    c->cmsg_level = SOL_SOCKET;
    c->cmsg_type = SCM_RIGHTS;
    c->cmsg_len = CMSG_LEN(sizeof(int));
    std::memcpy(CMSG_DATA(c), &channel, sizeof channel);
    if (sendmsg(g_server, &message, MSG_NOSIGNAL) >= 0) return true;
    close(g_server);  // the server is gone: decoders are forked from the job from now on
    g_server = -1;
    return false;
}

bool requestDecoding(const char* path, int channel) { return sendRequest(kDecodeRequest + std::string(path), channel); }

// Closes the job's end of the channel once the answer is in (or given up): a child that was
// stopped or ran out of time is killed, and one forked here (child > 0) is reaped, its wait
// status going to trail.
void endChild(const DecoderAnswer& answer, int channel, pid_t child, DecoderTrail& trail) {
    const bool abandoned = answer.stopped() || answer.timedOut();
    if (abandoned && trail.pid > 0) kill(trail.pid, SIGKILL);
    close(channel);
    if (child <= 0) return;
    if (abandoned) kill(child, SIGKILL);
    int status = 0;
    pid_t reaped;
    do {
        reaped = waitpid(child, &status, 0);
    } while (reaped < 0 && errno == EINTR);
    if (reaped == child) {
        trail.ended = true;
        trail.status = status;
    }
}

}  // namespace

void initImageIo() {
    FreeImage_Initialise(FALSE);
    FreeImage_SetOutputMessage(onFreeImageMessage);
    TIFFSetErrorHandler(onTiffMessage);
    TIFFSetWarningHandler(onTiffMessage);
    static std::once_flag server;
    std::call_once(server, startDecoderServer);
}

int loadGreyImage(const char* path, GreyImage& image, ImageResolution* resolution) {
    image.reset(0, 0, 255);
    ImageResolution ownResolution;
    ImageResolution& found = resolution ? *resolution : ownResolution;
    found = ImageResolution();
    int channel[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, channel) != 0) return decodeGreyImage(path, image, found);
    // Without a server (a process that never called initImageIo) the decoder is forked here.
    pid_t child = -1;
    if (!requestDecoding(path, channel[1])) {
        const pid_t parent = getpid();
        child = fork();
        if (child < 0) {
            close(channel[0]);
            close(channel[1]);
            return decodeGreyImage(path, image, found);
        }
        if (child == 0) {
            close(channel[0]);
            runDecoder(path, channel[1], parent);
        }
    }
    close(channel[1]);
    DecoderAnswer answer(channel[0]);
    DecoderTrail trail;
    int result = receiveImage(answer, image, found, trail);
    endChild(answer, channel[0], child, trail);
    if (result < 0) {
        char text[96] = "";
        if (answer.timedOut()) {
            std::snprintf(text, sizeof text, "the image decoder gave no answer within %d s",
                          g_decoderTimeout.load());
        } else if (trail.ended && WIFSIGNALED(trail.status)) {
            std::snprintf(text, sizeof text, "the image decoder crashed on this file (signal %d)",
                          WTERMSIG(trail.status));
        } else if (!answer.stopped()) {
            std::snprintf(text, sizeof text, "the image decoder ended without an answer");
        }
        if (text[0]) freeImageMessage(FIF_UNKNOWN, text);
        result = kLoadUnreadable;
    }
    if (result != kLoaded) {
        image.reset(0, 0, 255);
        found = ImageResolution();
    }
    return result;
}

void setDecoderTimeout(int seconds) { g_decoderTimeout = seconds; }

int runIsolated(IsolatedTask task, const std::string& argument, int timeoutSeconds) {
    int channel[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, channel) != 0) return -1;
    std::string request(1, kTaskRequest);
    request.append(reinterpret_cast<const char*>(&task), sizeof task);
    request += argument;
    pid_t child = -1;
    if (request.size() >= 65535 || !sendRequest(request, channel[1])) {
        const pid_t parent = getpid();
        child = fork();
        if (child == 0) {
            close(channel[0]);
            runTask(task, argument, channel[1], parent);
        }
    }
    close(channel[1]);
    DecoderAnswer answer(channel[0], timeoutSeconds);
    DecoderTrail trail;
    for (;;) {
        char kind = 0;
        int32_t value = 0;
        if (!answer.read(&kind, 1) || !answer.read(&value, sizeof value)) break;
        if (kind == kPidRecord) trail.pid = value;
        if (kind == kExitRecord) {
            trail.ended = true;
            trail.status = value;
            break;
        }
    }
    endChild(answer, channel[0], child, trail);
    if (answer.timedOut()) trace("the child process gave no answer within %d s\n", timeoutSeconds);
    if (!trail.ended || answer.stopped() || answer.timedOut()) return -1;
    if (WIFSIGNALED(trail.status)) {
        trace("the child process crashed (signal %d)\n", WTERMSIG(trail.status));
        return -1;
    }
    return WIFEXITED(trail.status) ? WEXITSTATUS(trail.status) : -1;
}

int saveGreyImage(const char* path, const GreyImage& image, const SaveSettings& settings) {
    if (image.width <= 0 || image.height <= 0) return 1;
    Bitmap bitmap(FreeImage_ConvertFromRawBits(const_cast<unsigned char*>(image.pixels.data()),
                                               image.width, image.height, image.width, 8, kRedMask,
                                               kGreenMask, kBlueMask, TRUE));
    if (!bitmap.get()) return 1;
    if (settings.resolution.dotsPerMeterX > 0 && settings.resolution.dotsPerMeterY > 0) {
        FreeImage_SetDotsPerMeterX(bitmap.get(), settings.resolution.dotsPerMeterX);
        FreeImage_SetDotsPerMeterY(bitmap.get(), settings.resolution.dotsPerMeterY);
    }
    // FreeImage takes a JPEG's quality as the save flags.
    const bool jpeg = formatFromFileName(path) == FIF_JPEG;
    const int flags = jpeg ? std::clamp(settings.jpegQuality, 1, 100) : 0;
    return saveImage(bitmap.get(), path, flags) ? 0 : 1;
}

bool canSaveGreyAs(const char* path) {
    const FREE_IMAGE_FORMAT fif = formatFromFileName(path);
    return fif != FIF_UNKNOWN && FreeImage_FIFSupportsWriting(fif) &&
           FreeImage_FIFSupportsExportBPP(fif, 8);
}

void removePartialOutput() {
    for (int k = 0; k < kPartialSlots; ++k)
        if (g_partialActive[k]) unlink(g_partialPath[k]);
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

const char* imageLibraryVersion() { return FreeImage_GetVersion(); }
