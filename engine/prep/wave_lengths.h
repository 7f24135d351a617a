// The two wave lengths that size every later filter and search: waveX, the pitch of the text
// lines across the page, and waveY, the pitch of the characters along a line, in pixels.
#pragma once

#include "core/grey_image.h"

// Measures both from image's spectrum, tracing the frequency limits, the two peaks with theta
// and shear, the corrected frequency and the wave lengths. Answers false when the spectrum
// shows no usable lattice (see usableWaveLengths); the values are written anyway.
bool measureWaveLengths(const GreyImage& image, double& waveX, double& waveY);

// True when both wave lengths are finite, at least one pixel and at most the sheet's longer side:
// only then do they describe a text lattice the later stages can be sized by.
bool usableWaveLengths(double waveX, double waveY, int width, int height);

// The pitch assumed for cleaning a sheet whose spectrum shows no lattice: a fortieth of its
// shorter side, about the line pitch of a book page.
double fallbackWaveLength(int width, int height);
