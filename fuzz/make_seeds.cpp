// Writes the fuzzer's seed corpus: one tiny sheet in every format the pipeline reads, plus the
// depths and colour models scanners produce (16-bit, colour with alpha, CMYK TIFF, 1-bit).
//   make-fuzz-seeds FOLDER
#include <FreeImage.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "books/archive_book.h"
#include "books/pdf_book.h"

namespace {

// Small, yet with a shorter side of at least 140 pixels: below that the spectrum's frequency
// limits reach the transform's edge and no text pitch is measured.
constexpr int kWidth = 160;
constexpr int kHeight = 200;

// A small spread: two pages of vertical "lines" at a pitch of 8 pixels, each line a column of
// 5 x 5 "characters" at a pitch of 7, with a blank gutter in the middle and a few characters
// missing, as in real text.
bool inkAt(int x, int y) {
    const bool inPage = (x >= 8 && x < 76) || (x >= 84 && x < 152);
    const bool inTier = y >= 14 && y < 186;
    return inPage && inTier && x % 8 < 5 && (y - 14) % 7 < 5 && (x * 7 + y / 7) % 23 != 0;
}

// The sheet as a bitmap of the given depth (1, 8, 24 or 32; 32 carries an alpha channel that
// is opaque over the ink and half transparent elsewhere), kWidth or width pixels wide.
// FreeImage rows run bottom-up.
FIBITMAP* sheet(int bpp, int width = kWidth) {
    FIBITMAP* dib = FreeImage_Allocate(width, kHeight, bpp);
    if (bpp <= 8) {
        RGBQUAD* palette = FreeImage_GetPalette(dib);
        const int colours = 1 << bpp;
        for (int i = 0; i < colours; ++i) {
            const BYTE v = static_cast<BYTE>(i * 255 / (colours - 1));
            palette[i] = RGBQUAD{v, v, v, 0};
        }
    }
    for (int y = 0; y < kHeight; ++y) {
        BYTE* line = FreeImage_GetScanLine(dib, kHeight - 1 - y);
        for (int x = 0; x < width; ++x) {
            const bool ink = inkAt(x, y);
            const BYTE v = ink ? 20 : 235;
            if (bpp == 1) {
                if (!ink) line[x / 8] |= static_cast<BYTE>(0x80 >> (x % 8));
            } else if (bpp == 8) {
                line[x] = v;
            } else {
                const int step = bpp / 8;
                line[x * step + FI_RGBA_RED] = v;
                line[x * step + FI_RGBA_GREEN] = v;
                line[x * step + FI_RGBA_BLUE] = static_cast<BYTE>(v > 200 ? v - 20 : v);
                if (step == 4) line[x * step + FI_RGBA_ALPHA] = ink ? 255 : 128;
            }
        }
    }
    return dib;
}

// The sheet as 16-bit grey or 16-bit-per-channel colour.
FIBITMAP* deepSheet(FREE_IMAGE_TYPE type) {
    FIBITMAP* dib = FreeImage_AllocateT(type, kWidth, kHeight);
    const int channels = type == FIT_RGB16 ? 3 : 1;
    for (int y = 0; y < kHeight; ++y) {
        auto* line = reinterpret_cast<uint16_t*>(FreeImage_GetScanLine(dib, kHeight - 1 - y));
        for (int x = 0; x < kWidth; ++x) {
            for (int c = 0; c < channels; ++c) line[x * channels + c] = inkAt(x, y) ? 4000 : 61000;
        }
    }
    return dib;
}

bool save(FIBITMAP* dib, FREE_IMAGE_FORMAT fif, const std::string& path, int flags = 0) {
    const bool ok = dib && FreeImage_Save(fif, dib, path.c_str(), flags);
    if (dib) FreeImage_Unload(dib);
    if (!ok) std::fprintf(stderr, "make-fuzz-seeds: cannot write %s\n", path.c_str());
    return ok;
}

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool writeText(const std::string& path, const std::string& text) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    return std::fclose(f) == 0 && ok;
}

// X bitmap: C source text, bit 0 of each byte the leftmost pixel, a set bit is ink.
std::string xbm() {
    char line[64];
    std::snprintf(line, sizeof line, "#define s_width %d\n#define s_height %d\n", kWidth, kHeight);
    std::string text = line;
    text += "static char s_bits[] = {\n";
    for (int y = 0; y < kHeight; ++y) {
        for (int bx = 0; bx < (kWidth + 7) / 8; ++bx) {
            int byte = 0;
            for (int b = 0; b < 8; ++b) {
                if (bx * 8 + b < kWidth && inkAt(bx * 8 + b, y)) byte |= 1 << b;
            }
            std::snprintf(line, sizeof line, "0x%02x,", byte);
            text += line;
        }
        text += '\n';
    }
    text += "};\n";
    return text;
}

void put16(std::string& s, int v) {
    s += static_cast<char>((v >> 8) & 0xFF);
    s += static_cast<char>(v & 0xFF);
}

// A version 2 PICT holding one uncompressed 1-bit bitmap (opcode BitsRect): a 512-byte empty
// header, size and frame, the version and header opcodes, the bitmap, the end opcode.
std::string pict() {
    const int rowBytes = (kWidth + 15) / 16 * 2;
    std::string s(512, '\0');
    put16(s, 0);  // picture size, unused in version 2
    put16(s, 0), put16(s, 0), put16(s, kHeight), put16(s, kWidth);  // frame
    put16(s, 0x0011), put16(s, 0x02FF);                             // version 2
    put16(s, 0x0C00);                                               // header opcode
    put16(s, 0xFFFF), put16(s, 0xFFFF);                             // version -1
    for (int v : {0, 0, 0, 0, kWidth, 0, kHeight, 0}) put16(s, v);  // fixed-point frame
    put16(s, 0), put16(s, 0);                                       // reserved
    put16(s, 0x0090);                                               // BitsRect
    put16(s, rowBytes);
    put16(s, 0), put16(s, 0), put16(s, kHeight), put16(s, kWidth);  // bounds
    put16(s, 0), put16(s, 0), put16(s, kHeight), put16(s, kWidth);  // source rectangle
    put16(s, 0), put16(s, 0), put16(s, kHeight), put16(s, kWidth);  // destination rectangle
    put16(s, 0);                                                    // copy mode
    for (int y = 0; y < kHeight; ++y) {
        for (int bx = 0; bx < rowBytes; ++bx) {
            int byte = 0;
            for (int b = 0; b < 8; ++b) {
                if (bx * 8 + b < kWidth && inkAt(bx * 8 + b, y)) byte |= 0x80 >> b;
            }
            s += static_cast<char>(byte);
        }
    }
    put16(s, 0x00FF);
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-fuzz-seeds FOLDER\n");
        return 2;
    }
    FreeImage_Initialise(FALSE);
    const std::string dir = argv[1];
    mkdir(dir.c_str(), 0755);
    auto at = [&dir](const char* name) { return dir + "/" + name; };

    bool ok = true;
    ok &= save(sheet(8), FIF_BMP, at("grey.bmp"));
    ok &= save(sheet(8), FIF_BMP, at("rle.bmp"), BMP_SAVE_RLE);
    ok &= save(sheet(8), FIF_GIF, at("grey.gif"));
    ok &= save(sheet(8, kHeight), FIF_ICO, at("grey.ico"));  // icons are square
    ok &= save(sheet(8), FIF_JPEG, at("grey.jpg"), JPEG_QUALITYNORMAL);
    ok &= save(sheet(24), FIF_JPEG, at("colour.jpg"), JPEG_QUALITYBAD | JPEG_PROGRESSIVE);
    ok &= save(sheet(1), FIF_PBM, at("mono.pbm"), PNM_SAVE_RAW);
    ok &= save(sheet(8), FIF_PGM, at("grey.pgm"), PNM_SAVE_RAW);
    ok &= save(sheet(24), FIF_PPM, at("colour.ppm"), PNM_SAVE_RAW);
    ok &= save(sheet(8), FIF_PNG, at("grey.png"));
    ok &= save(sheet(32), FIF_PNG, at("alpha.png"));
    ok &= save(deepSheet(FIT_UINT16), FIF_PNG, at("deep.png"));
    ok &= save(sheet(24), FIF_PSD, at("colour.psd"));
    ok &= save(sheet(8), FIF_TIFF, at("grey.tif"), TIFF_LZW);
    ok &= save(sheet(1), FIF_TIFF, at("mono.tif"), TIFF_CCITTFAX4);
    ok &= save(deepSheet(FIT_RGB16), FIF_TIFF, at("deep.tif"), TIFF_ADOBE_DEFLATE);
    ok &= save(sheet(32), FIF_TIFF, at("cmyk.tif"), TIFF_CMYK | TIFF_LZW);
    ok &= save(sheet(8), FIF_XPM, at("grey.xpm"));
    ok &= writeText(at("mono.xbm"), xbm());
    ok &= writeText(at("mono.pct"), pict());
    ok &= writeText(at("empty.png"), "");

    // Books: a PDF of a JPEG page and a lossless page, a PDF whose page is drawn (rendered), a
    // ZIP of pages with an entry that is not an image, and each of the first and last cut short.
    std::string why;
    ok &= writePdf(at("book.pdf"), {PdfPageOut{at("grey.jpg"), 0.5, 0.5}, PdfPageOut{at("mono.tif"), 0.5, 0.5}}, why);
    ok &= writeText(at("drawn.pdf"),
                    "%PDF-1.4\n1 0 obj<</Type/Catalog/Pages 2 0 R>>endobj\n"
                    "2 0 obj<</Type/Pages/Kids[3 0 R]/Count 1>>endobj\n"
                    "3 0 obj<</Type/Page/Parent 2 0 R/MediaBox[0 0 40 60]/Contents 4 0 R>>endobj\n"
                    "4 0 obj<</Length 44>>stream\n0 g 5 5 10 40 re f 1 w 20 5 m 30 50 l S\nendstream endobj\n"
                    "trailer<</Root 1 0 R>>\n%%EOF\n");
    ok &= writeArchive(at("book.cbz"),
                       {ArchiveEntryOut{BookItem::kFolder, "pages/", "", 0, 0755},
                        ArchiveEntryOut{BookItem::kCarried, "ComicInfo.xml", at("mono.xbm"), 0, 0644},
                        ArchiveEntryOut{BookItem::kPage, "pages/1.jpg", at("grey.jpg"), 0, 0644},
                        ArchiveEntryOut{BookItem::kPage, "pages/2.png", at("grey.png"), 0, 0644}},
                       why);
    for (const char* book : {"book.pdf", "book.cbz"}) {
        const std::string whole = readText(at(book));
        ok &= writeText(at((std::string("cut-") + book).c_str()), whole.substr(0, whole.size() / 2));
    }
    return ok ? 0 : 1;
}
