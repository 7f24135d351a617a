// A small deterministic random source: the same seed gives the same numbers on every build,
// unlike the standard distributions, whose algorithms differ between libraries.
#pragma once

#include <cstdint>

class SynthRandom {
public:
    explicit SynthRandom(uint64_t seed) : state_(seed) {}

    // 64 random bits (splitmix64).
    uint64_t next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

    // A number in [0, 1).
    double uniform() { return static_cast<double>(next() >> 11) * (1.0 / 9007199254740992.0); }

    // A number in [lo, hi).
    double uniform(double lo, double hi) { return lo + (hi - lo) * uniform(); }

    // An integer in [lo, hi], both included.
    int between(int lo, int hi) {
        if (hi <= lo) return lo;
        return lo + static_cast<int>(next() % static_cast<uint64_t>(hi - lo + 1));
    }

    // True with probability p.
    bool chance(double p) { return uniform() < p; }

    // An independent source derived from this one, for a part of the work whose draws must not
    // shift when another part changes.
    SynthRandom fork() { return SynthRandom(next()); }

private:
    uint64_t state_;
};
