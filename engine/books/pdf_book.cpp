#include "books/pdf_book.h"

extern "C" {
#include <mupdf/fitz.h>
#include <mupdf/pdf.h>
}

#include <cmath>
#include <cstdio>
#include <memory>

#include "pipeline/image_io.h"
#include "pipeline/layo.h"

// MuPDF reports errors by longjmp (fz_try / fz_catch): the blocks below hold plain pointers only,
// and every C++ object they touch is made before the block.

namespace {

constexpr double kDefaultDpi = 300.0;

struct ContextDrop {
    void operator()(fz_context* ctx) const { fz_drop_context(ctx); }
};

void ignoreMessage(void*, const char*) {}

// A MuPDF context whose warnings and errors go nowhere: failures are reported through results.
std::unique_ptr<fz_context, ContextDrop> quietContext() {
    std::unique_ptr<fz_context, ContextDrop> ctx(fz_new_context(nullptr, nullptr, FZ_STORE_DEFAULT));
    if (ctx) {
        fz_set_warning_callback(ctx.get(), ignoreMessage, nullptr);
        fz_set_error_callback(ctx.get(), ignoreMessage, nullptr);
    }
    return ctx;
}

// A device that only looks at what a page draws: its images, and whether anything else is
// painted (invisible text, as a scanner's recognised text layer, and clips paint nothing).
struct PageScan {
    fz_device super;
    int images;
    int others;
    fz_image* first;  // kept while the scan lives
    fz_matrix firstPlacement;
    long long largestPixels;
    double largestDpi;  // of the image with the most pixels, along its width
};

void noteImage(PageScan* scan, fz_image* image, fz_matrix ctm) {
    const long long pixels = static_cast<long long>(image->w) * image->h;
    const double inches = std::hypot(ctm.a, ctm.b) / 72.0;
    if (pixels > scan->largestPixels && inches > 0) {
        scan->largestPixels = pixels;
        scan->largestDpi = image->w / inches;
    }
}

void scanImage(fz_context* ctx, fz_device* dev, fz_image* image, fz_matrix ctm, float, fz_color_params) {
    PageScan* scan = reinterpret_cast<PageScan*>(dev);
    if (++scan->images == 1) {
        scan->first = fz_keep_image(ctx, image);
        scan->firstPlacement = ctm;
    }
    noteImage(scan, image, ctm);
}

void scanImageMask(fz_context*, fz_device* dev, fz_image* image, fz_matrix ctm, fz_colorspace*, const float*, float,
                   fz_color_params) {
    PageScan* scan = reinterpret_cast<PageScan*>(dev);
    ++scan->others;
    noteImage(scan, image, ctm);
}

void scanPath(fz_context*, fz_device* dev, const fz_path*, int, fz_matrix, fz_colorspace*, const float*, float,
              fz_color_params) {
    ++reinterpret_cast<PageScan*>(dev)->others;
}
void scanStroke(fz_context*, fz_device* dev, const fz_path*, const fz_stroke_state*, fz_matrix, fz_colorspace*,
                const float*, float, fz_color_params) {
    ++reinterpret_cast<PageScan*>(dev)->others;
}
void scanText(fz_context*, fz_device* dev, const fz_text*, fz_matrix, fz_colorspace*, const float*, float,
              fz_color_params) {
    ++reinterpret_cast<PageScan*>(dev)->others;
}
void scanStrokeText(fz_context*, fz_device* dev, const fz_text*, const fz_stroke_state*, fz_matrix, fz_colorspace*,
                    const float*, float, fz_color_params) {
    ++reinterpret_cast<PageScan*>(dev)->others;
}
void scanShade(fz_context*, fz_device* dev, fz_shade*, fz_matrix, float, fz_color_params) {
    ++reinterpret_cast<PageScan*>(dev)->others;
}
void dropScan(fz_context* ctx, fz_device* dev) {
    PageScan* scan = reinterpret_cast<PageScan*>(dev);
    fz_drop_image(ctx, scan->first);
    scan->first = nullptr;
}

// True when placement draws the image upright (not turned or mirrored) over the whole page.
bool fillsPageUpright(fz_matrix placement, fz_rect page) {
    constexpr double kSlack = 1.0;  // points
    if (placement.b != 0 || placement.c != 0 || placement.a <= 0 || placement.d <= 0) return false;
    return std::fabs(placement.e - page.x0) <= kSlack && std::fabs(placement.f - page.y0) <= kSlack &&
           std::fabs(placement.e + placement.a - page.x1) <= kSlack &&
           std::fabs(placement.f + placement.d - page.y1) <= kSlack;
}

// A JPEG whose bytes decode to what the PDF shows: grey or RGB (YCbCr), no mask, no colour
// key, no decode array.
bool jpegAsItIs(fz_context* ctx, fz_image* image, fz_compressed_buffer* compressed) {
    if (!compressed || compressed->params.type != FZ_IMAGE_JPEG) return false;
    if (image->mask || image->use_decode || image->use_colorkey || image->imagemask) return false;
    if (fz_colorspace_is_gray(ctx, image->colorspace)) return image->n == 1;
    return fz_colorspace_is_rgb(ctx, image->colorspace) && image->n == 3 && compressed->params.u.jpeg.color_transform != 0;
}

enum class Taken { kJpeg, kPng };

// Takes page number of doc out as jpegPath or pngPath; answers a page result (0, kLayoTooLarge
// or kLayoUnreadable), with what was done in taken, the page's size in item and why it failed
// in message.
int takePage(fz_context* ctx, pdf_document* doc, int number, const char* jpegPath, const char* pngPath,
             long long largestPixels, BookItem& item, Taken& taken, char* message, size_t messageSize) {
    fz_page* page = nullptr;
    PageScan* scan = nullptr;
    fz_pixmap* pixmap = nullptr;
    fz_pixmap* converted = nullptr;
    FILE* out = nullptr;
    volatile int result = 0;
    volatile Taken way = Taken::kPng;
    fz_var(page);
    fz_var(scan);
    fz_var(pixmap);
    fz_var(converted);
    fz_var(out);
    fz_try(ctx) {
        page = fz_load_page(ctx, reinterpret_cast<fz_document*>(doc), number);
        const fz_rect bounds = fz_bound_page(ctx, page);
        const double width = bounds.x1 - bounds.x0, height = bounds.y1 - bounds.y0;
        item.widthPoints = width;
        item.heightPoints = height;
        if (!(width > 0 && height > 0)) fz_throw(ctx, FZ_ERROR_GENERIC, "the page has no area");
        scan = fz_new_derived_device(ctx, PageScan);
        scan->super.fill_image = scanImage;
        scan->super.fill_image_mask = scanImageMask;
        scan->super.fill_path = scanPath;
        scan->super.stroke_path = scanStroke;
        scan->super.fill_text = scanText;
        scan->super.stroke_text = scanStrokeText;
        scan->super.fill_shade = scanShade;
        scan->super.drop_device = dropScan;
        fz_run_page(ctx, page, &scan->super, fz_identity, nullptr);
        fz_close_device(ctx, &scan->super);
        fz_image* image = scan->first;
        if (scan->images == 1 && scan->others == 0 && fillsPageUpright(scan->firstPlacement, bounds)) {
            // The scanner's page: the image at its own pixels.
            item.pixelsWide = image->w;
            item.pixelsHigh = image->h;
            if (static_cast<long long>(image->w) * image->h > largestPixels) {
                result = kLayoTooLarge;
            } else if (fz_compressed_buffer* compressed = fz_compressed_image_buffer(ctx, image);
                       jpegAsItIs(ctx, image, compressed)) {
                unsigned char* data = nullptr;
                const size_t size = fz_buffer_storage(ctx, compressed->buffer, &data);
                out = std::fopen(jpegPath, "wb");
                if (!out || std::fwrite(data, 1, size, out) != size || std::fclose(out) != 0) {
                    out = nullptr;
                    fz_throw(ctx, FZ_ERROR_GENERIC, "cannot write the page image");
                }
                out = nullptr;
                way = Taken::kJpeg;
            } else {
                pixmap = fz_get_pixmap_from_image(ctx, image, nullptr, nullptr, nullptr, nullptr);
                const int colours = pixmap->n - pixmap->alpha;
                if (colours != 1 && colours != 3) {
                    converted = fz_convert_pixmap(ctx, pixmap, fz_device_rgb(ctx), nullptr, nullptr,
                                                  fz_default_color_params, 0);
                    fz_drop_pixmap(ctx, pixmap);
                    pixmap = converted;
                    converted = nullptr;
                }
                const int dpi = static_cast<int>(std::lround(image->w * 72.0 / width));
                fz_set_pixmap_resolution(ctx, pixmap, dpi, dpi);
                fz_save_pixmap_as_png(ctx, pixmap, pngPath);
            }
        } else {
            const double dpi = scan->largestPixels > 0 ? scan->largestDpi : kDefaultDpi;
            const double scale = dpi / 72.0;
            const double pixels = std::ceil(width * scale) * std::ceil(height * scale);
            if (pixels > static_cast<double>(largestPixels)) {
                result = kLayoTooLarge;
            } else {
                pixmap = fz_new_pixmap_from_page(ctx, page, fz_scale(scale, scale), fz_device_gray(ctx), 0);
                item.pixelsWide = pixmap->w;
                item.pixelsHigh = pixmap->h;
                const int rounded = static_cast<int>(std::lround(dpi));
                fz_set_pixmap_resolution(ctx, pixmap, rounded, rounded);
                fz_save_pixmap_as_png(ctx, pixmap, pngPath);
            }
        }
    }
    fz_always(ctx) {
        if (out) std::fclose(out);
        fz_drop_pixmap(ctx, converted);
        fz_drop_pixmap(ctx, pixmap);
        if (scan) fz_drop_device(ctx, &scan->super);
        fz_drop_page(ctx, page);
    }
    fz_catch(ctx) {
        std::snprintf(message, messageSize, "%s", fz_caught_message(ctx));
        result = kLayoUnreadable;
    }
    taken = way;
    return result;
}

std::string baseName(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

int takeOutPdf(const std::string& path, const std::string& workFolder, const BookLimits& limits,
               BookContents& contents) {
    contents = BookContents();
    const auto context = quietContext();
    if (!context) {
        contents.message = "no memory for the PDF reader";
        return kBookDamaged;
    }
    fz_context* ctx = context.get();
    pdf_document* doc = nullptr;
    volatile int result = 0;
    volatile int count = 0;
    char message[512] = "";
    fz_var(doc);
    fz_try(ctx) {
        doc = pdf_open_document(ctx, path.c_str());
        if (pdf_needs_password(ctx, doc)) {
            result = kBookEncrypted;
        } else {
            count = pdf_count_pages(ctx, doc);
        }
    }
    fz_catch(ctx) {
        std::snprintf(message, sizeof message, "%s", fz_caught_message(ctx));
        result = kBookDamaged;
    }
    const std::string stem = workFolder + "/" + baseName(path) + " page ";
    for (int k = 0; result == 0 && k < count; ++k) {
        BookItem item;
        const std::string jpeg = stem + std::to_string(k + 1) + ".jpg";
        const std::string png = stem + std::to_string(k + 1) + ".png";
        Taken taken = Taken::kPng;
        char why[512] = "";
        item.result = takePage(ctx, doc, k, jpeg.c_str(), png.c_str(), limits.largestPagePixels, item, taken, why,
                               sizeof why);
        item.file = taken == Taken::kJpeg ? jpeg : png;
        if (item.result != 0 && contents.message.empty())
            contents.message = "page " + std::to_string(k + 1) + ": " + (why[0] ? why : "too large");
        contents.items.push_back(std::move(item));
    }
    if (result == kBookEncrypted) contents.message = "the PDF needs a password";
    if (result == kBookDamaged) contents.message = message;
    if (result == 0 && doc && pdf_was_repaired(ctx, doc)) {
        contents.message = "the PDF is damaged or cut short: its cross-reference table had to be rebuilt";
        result = kBookDamaged;
    }
    if (doc) pdf_drop_document(ctx, doc);
    return result;
}

bool writePdf(const std::string& path, const std::vector<PdfPageOut>& pages, std::string& message) {
    const auto context = quietContext();
    if (!context) {
        message = "no memory for the PDF writer";
        return false;
    }
    fz_context* ctx = context.get();
    pdf_document* doc = nullptr;
    fz_image* image = nullptr;
    pdf_obj* imageObject = nullptr;
    pdf_obj* resources = nullptr;
    pdf_obj* page = nullptr;
    fz_buffer* contents = nullptr;
    char why[512] = "";
    volatile bool ok = true;
    fz_var(doc);
    fz_var(image);
    fz_var(imageObject);
    fz_var(resources);
    fz_var(page);
    fz_var(contents);
    fz_try(ctx) {
        doc = pdf_create_document(ctx);
        for (const PdfPageOut& p : pages) {
            image = fz_new_image_from_file(ctx, p.image.c_str());
            imageObject = pdf_add_image(ctx, doc, image);
            resources = pdf_new_dict(ctx, doc, 1);
            pdf_obj* xobjects = pdf_dict_put_dict(ctx, resources, PDF_NAME(XObject), 1);
            pdf_dict_puts(ctx, xobjects, "Im0", imageObject);
            contents = fz_new_buffer(ctx, 64);
            const float width = static_cast<float>(image->w * p.pointsPerPixelX);
            const float height = static_cast<float>(image->h * p.pointsPerPixelY);
            fz_append_printf(ctx, contents, "q %g 0 0 %g 0 0 cm /Im0 Do Q", width, height);
            page = pdf_add_page(ctx, doc, fz_make_rect(0, 0, width, height), 0, resources, contents);
            pdf_insert_page(ctx, doc, -1, page);
            pdf_drop_obj(ctx, page);
            page = nullptr;
            fz_drop_buffer(ctx, contents);
            contents = nullptr;
            pdf_drop_obj(ctx, resources);
            resources = nullptr;
            pdf_drop_obj(ctx, imageObject);
            imageObject = nullptr;
            fz_drop_image(ctx, image);
            image = nullptr;
        }
        pdf_write_options options = pdf_default_write_options;
        options.do_compress = 1;
        options.do_compress_images = 1;
        pdf_save_document(ctx, doc, path.c_str(), &options);
    }
    fz_always(ctx) {
        pdf_drop_obj(ctx, page);
        fz_drop_buffer(ctx, contents);
        pdf_drop_obj(ctx, resources);
        pdf_drop_obj(ctx, imageObject);
        fz_drop_image(ctx, image);
        pdf_drop_document(ctx, doc);
    }
    fz_catch(ctx) {
        std::snprintf(why, sizeof why, "%s", fz_caught_message(ctx));
        ok = false;
    }
    if (!ok) message = why;
    return ok;
}
