#include "prep/wave_lengths.h"

#include <algorithm>
#include <cmath>

#include "core/trace.h"
#include "prep/spectrum.h"

bool measureWaveLengths(const GreyImage& image, double& waveX, double& waveY) {
    trace("2-dim DFT. ");
    // Periods between a twelfth and a seventieth of the shorter side are searched.
    const int m = std::min(image.width, image.height);
    int fx1 = image.width / (m / 12), fy1 = image.height / (m / 12);
    int fx2 = image.width / (m / 70), fy2 = image.height / (m / 70);
    trace("freq limit: %d～%d, %d～%d.\n", fx1, fx2, fy1, fy2);
    int NX = 0, NY = 0;
    if (!analyseSpectrum(image, fx1, fy1, fx2, fy2, NX, NY)) {
        trace("\n");
        return false;
    }
    double theta = 0, shear = 0;
    estimateSkewAndShear(fx1, fy1, fx2, fy2, theta, shear);
    trace("frequency: (%d, %d), (%d, %d). theta=%lf, shear=%lf.\n", fx1, fy1, fx2, fy2, theta, shear);
    // The first peak's frequency in the lattice's own axes, with the shear taken out.
    const double u = fx1 * std::sin(theta) + fy1 * std::cos(theta);
    const double v = fx1 * std::cos(theta) - fy1 * std::sin(theta) - shear * u;
    trace("frequency: (%lf, %lf)\n", v, u);
    waveX = NX / v;
    waveY = NY / u;
    trace("wave length: (%lf, %lf)\n", waveX, waveY);
    return usableWaveLengths(waveX, waveY, image.width, image.height);
}

bool usableWaveLengths(double waveX, double waveY, int width, int height) {
    const double longest = std::max(width, height);
    auto usable = [longest](double wave) { return std::isfinite(wave) && wave >= 1.0 && wave <= longest; };
    return usable(waveX) && usable(waveY);
}

double fallbackWaveLength(int width, int height) { return std::min(width, height) / 40.0; }
