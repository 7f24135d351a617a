#include "prep/spectrum.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <vector>

namespace {

// FFTW's planner is not thread-safe; executing a plan is.
std::mutex g_planLock;

int largestPowerOfTwo(int n) {
    int p = 1;
    while (p <= n / 2) p *= 2;
    return p;
}

// Memory from fftw_malloc, freed with the owner.
template <class T>
struct FftwBuffer {
    T* data;
    explicit FftwBuffer(size_t n) : data(static_cast<T*>(fftw_malloc(sizeof(T) * n))) {}
    ~FftwBuffer() { fftw_free(data); }
    FftwBuffer(const FftwBuffer&) = delete;
    FftwBuffer& operator=(const FftwBuffer&) = delete;
};

// The strongest cell of window (rows f, columns k2), scanned f-major; the first maximum wins.
void scanPeak(const double* window, int fLo, int fHi, int kLo, int kHi, int& fOut, int& kOut) {
    const int columns = kHi - kLo + 1;
    double best = 0.0;
    int bestF = -1, bestK = -1;
    for (int f = 0; f <= fHi - fLo; ++f)
        for (int k = 0; k < columns; ++k) {
            const double v = window[static_cast<size_t>(f) * columns + k];
            if (v > best) {
                best = v;
                bestF = f;
                bestK = k;
            }
        }
    fOut = bestF + fLo;
    kOut = bestK + kLo;
}

// Solid-set text puts almost as much power into the second harmonic of the character pitch as
// into the pitch itself, and on small pages both lie in the window; the two peaks may then land
// on different harmonics (giving a slant of tens of degrees) or both on the second (giving half
// the pitch). A peak whose half vertical frequency, near the same horizontal frequency, holds at
// least half its power is taken to be that harmonic and moves to the fundamental.
void preferFundamental(const double* window, int fLo, int fHi, int kLo, int kHi, int& f, int& k) {
    if (f < fLo || k < kLo) return;  // no peak
    const int columns = kHi - kLo + 1;
    auto at = [&](int ff, int kk) { return window[static_cast<size_t>(ff - fLo) * columns + (kk - kLo)]; };
    const double peak = at(f, k);
    const int dk = std::max(1, k / 20), df = std::max(2, f / 5);
    double best = 0.0;
    int bestF = -1, bestK = -1;
    for (int ff = std::max(fLo, f - df); ff <= std::min(fHi, f + df); ++ff)
        for (int kk = std::max(kLo, k / 2 - dk); kk <= std::min(kHi, k / 2 + dk); ++kk)
            if (at(ff, kk) > best) {
                best = at(ff, kk);
                bestF = ff;
                bestK = kk;
            }
    if (bestF >= 0 && best >= 0.5 * peak) {
        f = bestF;
        k = bestK;
    }
}

}  // namespace

bool analyseSpectrum(const GreyImage& image, int& fx1, int& fy1, int& fx2, int& fy2, int& NX,
                     int& NY) {
    const int fxLo = fx1, fyLo = fy1, fxHi = fx2, fyHi = fy2;
    const int W = image.width, H = image.height;
    NX = largestPowerOfTwo(W);
    NY = largestPowerOfTwo(H);
    const int ox = (W - NX) / 2, oy = (H - NY) / 2;
    const int half = NX / 2 + 1;

    FftwBuffer<double> in(static_cast<size_t>(NX) * NY);
    FftwBuffer<fftw_complex> out(static_cast<size_t>(half) * NY);
    if (!in.data || !out.data) return false;
    fftw_plan plan;
    {
        std::lock_guard<std::mutex> lock(g_planLock);
        plan = fftw_plan_dft_r2c_2d(NY, NX, in.data, out.data, FFTW_ESTIMATE);
    }
    if (!plan) return false;
    for (int y = 0; y < NY; ++y) {
        const unsigned char* row = &image.at(ox, oy + y);
        double* dst = in.data + static_cast<size_t>(y) * NX;
        for (int x = 0; x < NX; ++x) dst[x] = row[x];
    }
    fftw_execute(plan);
    {
        std::lock_guard<std::mutex> lock(g_planLock);
        fftw_destroy_plan(plan);
    }

    // P(k1, k2) for any bin: the transform stores k1 <= NX/2; the rest follow from
    // P(k1, k2) = P(NX - k1, NY - k2).
    const double norm = static_cast<double>(NX) * NY;
    auto power = [&](int k1, int k2) {
        k1 = ((k1 % NX) + NX) % NX;
        k2 = ((k2 % NY) + NY) % NY;
        if (k1 > NX / 2) {
            k1 = (NX - k1) % NX;
            k2 = (NY - k2) % NY;
        }
        const fftw_complex& c = out.data[static_cast<size_t>(k2) * half + k1];
        return (c[0] * c[0] + c[1] * c[1]) / norm;
    };

    if (fxHi < fxLo || fyHi < fyLo) {
        fx1 = fx2 = fxLo - 1;
        fy1 = fy2 = fyLo - 1;
        return true;
    }
    const int rows = fxHi - fxLo + 1, columns = fyHi - fyLo + 1;
    std::vector<double> window1(static_cast<size_t>(rows) * columns);
    std::vector<double> window2(window1.size());
    for (int f = fxLo; f <= fxHi; ++f)
        for (int k2 = fyLo; k2 <= fyHi; ++k2) {
            const size_t i = static_cast<size_t>(f - fxLo) * columns + (k2 - fyLo);
            window1[i] = power(f, k2);
            window2[i] = power(NX - f, k2);
        }
    scanPeak(window1.data(), fxLo, fxHi, fyLo, fyHi, fx1, fy1);
    scanPeak(window2.data(), fxLo, fxHi, fyLo, fyHi, fx2, fy2);
    preferFundamental(window1.data(), fxLo, fxHi, fyLo, fyHi, fx1, fy1);
    preferFundamental(window2.data(), fxLo, fxHi, fyLo, fyHi, fx2, fy2);
    return true;
}

void estimateSkewAndShear(int fx1, int fy1, int fx2, int fy2, double& theta, double& shear) {
    const double ax = fx1, ay = fy1, bx = -static_cast<double>(fx2), by = fy2;
    const double mx = (ax + bx) / 2, my = (ay + by) / 2;
    const double dx = ax - bx, dy = ay - by;
    const double t = (dx * bx + dy * by) / (dx * dx + dy * dy);
    const double px = bx - t * dx, py = by - t * dy;
    theta = std::atan(px / py);
    shear = ((mx - px) * dx + (my - py) * dy) / std::sqrt((px * px + py * py) * (dx * dx + dy * dy));
}

const char* fftLibraryVersion() { return fftw_version; }
