#include "degrade.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr double kInkGrey = 28.0;
constexpr double kBorderGrey = 38.0;
constexpr double kLidGrey = 250.0;
constexpr double kPi = 3.14159265358979323846;

// The sheet's small rotation (clockwise) and shear about its centre.
struct Warp {
    double cx, cy, c, s, shear;

    Point forward(Point p) const {
        const double x = p.x - cx + shear * (p.y - cy), y = p.y - cy;
        return {cx + x * c - y * s, cy + x * s + y * c};
    }
    Point inverse(Point q) const {
        const double x = q.x - cx, y = q.y - cy;
        const double ux = x * c + y * s, uy = -x * s + y * c;
        return {cx + ux - shear * uy, cy + uy};
    }
};

// Grey of the clean sheet at (x, y): paper, darkened by the gutter shadow, under the ink. The
// seam lies at seam, between pages spreadWidth wide together.
std::vector<float> paperAndInk(const SynthOptions& o, const InkCanvas& canvas, double seam,
                               double spreadWidth) {
    const int w = canvas.width, h = canvas.height;
    std::vector<float> shade(static_cast<size_t>(w), static_cast<float>(o.paperTone));
    if (o.spread && o.gutter > 0) {
        const double sigma = spreadWidth * 0.025;
        for (int x = 0; x < w; ++x) {
            const double d = (x + 0.5 - seam) / sigma;
            shade[static_cast<size_t>(x)] *= static_cast<float>(1.0 - o.gutter * std::exp(-d * d));
        }
    }
    // The binding itself: a dark strip, its edges softened over a pixel.
    if (o.spread && o.bindingMm > 0) {
        const double half = o.bindingMm / 25.4 * o.dpi / 2;
        for (int x = 0; x < w; ++x) {
            const double d = std::fabs(x + 0.5 - seam) - half;
            const double cover = std::clamp(0.5 - d, 0.0, 1.0);
            float& v = shade[static_cast<size_t>(x)];
            v = static_cast<float>(v * (1 - cover) + kBorderGrey * cover);
        }
    }
    std::vector<float> grey(static_cast<size_t>(w) * static_cast<size_t>(h));
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const size_t i = static_cast<size_t>(y) * w + x;
            const double ink = canvas.ink[i] / 255.0;
            const double paper = shade[static_cast<size_t>(x)];
            grey[i] = static_cast<float>(paper * (1.0 - ink) + std::min(kInkGrey, paper) * ink);
        }
    }
    return grey;
}

void gaussianBlur(std::vector<float>& img, int w, int h, double sigma) {
    const int radius = static_cast<int>(std::ceil(3 * sigma));
    std::vector<double> kernel(static_cast<size_t>(2 * radius + 1));
    double sum = 0;
    for (int k = -radius; k <= radius; ++k) {
        kernel[static_cast<size_t>(k + radius)] = std::exp(-k * k / (2 * sigma * sigma));
        sum += kernel[static_cast<size_t>(k + radius)];
    }
    for (double& k : kernel) k /= sum;
    std::vector<float> tmp(img.size());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            double v = 0;
            for (int k = -radius; k <= radius; ++k) {
                const int xx = std::clamp(x + k, 0, w - 1);
                v += kernel[static_cast<size_t>(k + radius)] * img[static_cast<size_t>(y) * w + xx];
            }
            tmp[static_cast<size_t>(y) * w + x] = static_cast<float>(v);
        }
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            double v = 0;
            for (int k = -radius; k <= radius; ++k) {
                const int yy = std::clamp(y + k, 0, h - 1);
                v += kernel[static_cast<size_t>(k + radius)] * tmp[static_cast<size_t>(yy) * w + x];
            }
            img[static_cast<size_t>(y) * w + x] = static_cast<float>(v);
        }
}

}  // namespace

void degradeSheet(const SynthOptions& o, const InkCanvas& canvas, SynthRandom& random,
                  GreyImage& sheet, SheetTruth& truth) {
    const int w = canvas.width, h = canvas.height;
    // A sliver or book edge beside a spread moves its seam off the sheet's middle.
    double seam = w / 2.0, spreadWidth = w;
    if (truth.hasSeam && truth.pages.size() == 2) {
        seam = truth.seam.p[0].x;
        spreadWidth = truth.pages[0].box.p[1].x - truth.pages[1].box.p[0].x;
    }
    const std::vector<float> clean = paperAndInk(o, canvas, seam, spreadWidth);
    const double theta = o.rotateDegrees * kPi / 180.0;
    const Warp warp{w / 2.0, h / 2.0, std::cos(theta), std::sin(theta), o.shear};
    const bool warped = o.rotateDegrees != 0.0 || o.shear != 0.0;
    const float outside = static_cast<float>(o.borderPx > 0 ? kBorderGrey : kLidGrey);

    // The sheet on the glass: every pixel samples the clean sheet through the inverse warp.
    std::vector<float> img(clean.size());
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            float v;
            if (!warped) {
                v = clean[static_cast<size_t>(y) * w + x];
            } else {
                const Point p = warp.inverse({x + 0.5, y + 0.5});
                const double sx = p.x - 0.5, sy = p.y - 0.5;
                const int x0 = static_cast<int>(std::floor(sx)), y0 = static_cast<int>(std::floor(sy));
                const double fx = sx - x0, fy = sy - y0;
                auto at = [&](int xx, int yy) -> double {
                    if (xx < 0 || yy < 0 || xx >= w || yy >= h) return outside;
                    return clean[static_cast<size_t>(yy) * w + xx];
                };
                v = static_cast<float>((1 - fy) * ((1 - fx) * at(x0, y0) + fx * at(x0 + 1, y0)) +
                                       fy * ((1 - fx) * at(x0, y0 + 1) + fx * at(x0 + 1, y0 + 1)));
            }
            img[static_cast<size_t>(y) * w + x] = v;
        }
    }

    // The scanner's light: a gradient across the sheet and a vignette towards the corners.
    if (o.gradient > 0 || o.vignette > 0) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const double dx = (x + 0.5) / w - 0.5, dy = (y + 0.5) / h - 0.5;
                const double light = (1.0 - o.gradient * (x + 0.5) / w) *
                                     (1.0 - o.vignette * 2.0 * (dx * dx + dy * dy));
                img[static_cast<size_t>(y) * w + x] *= static_cast<float>(light);
            }
    }

    // The lid's dark frame around the sheet.
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int d = std::min(std::min(x, w - 1 - x), std::min(y, h - 1 - y));
            if (d < o.borderPx) img[static_cast<size_t>(y) * w + x] = static_cast<float>(kBorderGrey);
        }

    // Specks of dust and toner.
    const double areaCm2 = (w / static_cast<double>(o.dpi) * 2.54) * (h / static_cast<double>(o.dpi) * 2.54);
    const int specks = static_cast<int>(o.speckles * areaCm2);
    for (int i = 0; i < specks; ++i) {
        const int cx = random.between(0, w - 1), cy = random.between(0, h - 1);
        const double rad = random.uniform(0.5, 2.2);
        const int r = static_cast<int>(std::ceil(rad));
        for (int y = std::max(cy - r, 0); y <= std::min(cy + r, h - 1); ++y)
            for (int x = std::max(cx - r, 0); x <= std::min(cx + r, w - 1); ++x)
                if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= rad * rad)
                    img[static_cast<size_t>(y) * w + x] = static_cast<float>(kInkGrey + 10);
    }

    if (o.blur > 0) gaussianBlur(img, w, h, o.blur);

    // Sensor grain on scanned sheets; a clean sheet stays clean.
    const bool grain = o.speckles > 0 || o.blur > 0 || warped;
    sheet.reset(w, h, 255);
    for (size_t i = 0; i < img.size(); ++i) {
        double v = img[i];
        if (grain) v += random.uniform(-3.0, 3.0);
        sheet.pixels[static_cast<uint32_t>(i)] =
            static_cast<unsigned char>(std::clamp(std::lround(v), 0L, 255L));
    }

    truth.skewDegrees = o.rotateDegrees;
    truth.shear = o.shear;
    if (warped) forEachPoint(truth, [&warp](Point& p) { p = warp.forward(p); });

    // The sheet as it lay on the glass, turned clockwise by whole quarters.
    const int k = ((o.turn % 360) + 360) % 360 / 90;
    if (k == 0) return;
    const double W = w, H = h;
    forEachPoint(truth, [k, W, H](Point& p) {
        if (k == 1) p = {H - p.y, p.x};
        else if (k == 2) p = {W - p.x, H - p.y};
        else p = {p.y, W - p.x};
    });
    rotateQuarterTurns(sheet, k);
    truth.turn = 90 * k;
    truth.width = sheet.width;
    truth.height = sheet.height;
}
