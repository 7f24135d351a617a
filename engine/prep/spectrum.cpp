#include "prep/spectrum.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <utility>
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

    // Only the bins of the search window are read, and by the transform's symmetry they all lie in
    // a few columns k1: those are all that is transformed down the rows, after the transform along
    // each row. A full two-dimensional transform would go down every column, with two sheet-sized
    // buffers.
    // Where the transform of a real sheet keeps bin (k1, k2): at k1 <= NX/2, the rest following
    // from P(k1, k2) = P(NX - k1, NY - k2).
    auto storedBin = [NX, NY](int k1, int k2) {
        k1 = ((k1 % NX) + NX) % NX;
        k2 = ((k2 % NY) + NY) % NY;
        if (k1 > NX / 2) {
            k1 = (NX - k1) % NX;
            k2 = (NY - k2) % NY;
        }
        return std::pair<int, int>(k1, k2);
    };
    int k1Lo = NX, k1Hi = -1;
    for (int f = fxLo; f <= fxHi; ++f)
        for (const int k1 : {storedBin(f, 0).first, storedBin(NX - f, 0).first})
            k1Lo = std::min(k1Lo, k1), k1Hi = std::max(k1Hi, k1);
    if (k1Hi < k1Lo) k1Lo = k1Hi = 0;  // no window: one column stands in
    const int columnsKept = k1Hi - k1Lo + 1;

    FftwBuffer<double> row(static_cast<size_t>(NX));
    FftwBuffer<fftw_complex> rowBins(static_cast<size_t>(half));
    FftwBuffer<fftw_complex> kept(static_cast<size_t>(columnsKept) * NY);  // column k1Lo + c at c * NY
    if (!row.data || !rowBins.data || !kept.data) return false;
    fftw_plan alongRow, downColumns;
    {
        std::lock_guard<std::mutex> lock(g_planLock);
        alongRow = fftw_plan_dft_r2c_1d(NX, row.data, rowBins.data, FFTW_ESTIMATE);
        downColumns = fftw_plan_many_dft(1, &NY, columnsKept, kept.data, nullptr, 1, NY, kept.data, nullptr, 1, NY,
                                         FFTW_FORWARD, FFTW_ESTIMATE);
    }
    if (alongRow && downColumns) {
        for (int y = 0; y < NY; ++y) {
            const unsigned char* pixels = &image.at(ox, oy + y);
            for (int x = 0; x < NX; ++x) row.data[x] = pixels[x];
            fftw_execute(alongRow);
            for (int c = 0; c < columnsKept; ++c) {
                kept.data[static_cast<size_t>(c) * NY + y][0] = rowBins.data[k1Lo + c][0];
                kept.data[static_cast<size_t>(c) * NY + y][1] = rowBins.data[k1Lo + c][1];
            }
        }
        fftw_execute(downColumns);
    }
    {
        std::lock_guard<std::mutex> lock(g_planLock);
        if (alongRow) fftw_destroy_plan(alongRow);
        if (downColumns) fftw_destroy_plan(downColumns);
    }
    if (!alongRow || !downColumns) return false;

    // P(k1, k2) for any bin of the window.
    const double norm = static_cast<double>(NX) * NY;
    auto power = [&](int k1, int k2) {
        const auto [s1, s2] = storedBin(k1, k2);
        const fftw_complex& c = kept.data[static_cast<size_t>(s1 - k1Lo) * NY + s2];
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
