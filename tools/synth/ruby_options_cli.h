// The ruby options that tovel-synth and tovel-glyphcheck both take on their command lines.
#pragma once

#include <CLI/CLI.hpp>

#include "synth_options.h"

struct RubyFlags {
    CLI::Option* rate;
    CLI::Option* gap;
    CLI::Option* length;
    CLI::Option* base;
};

// Adds --ruby-rate, --ruby-gap, --ruby-length and --ruby-base to app, parsed into given.
inline RubyFlags addRubyOptions(CLI::App& app, SynthOptions& given) {
    RubyFlags f;
    f.rate = app.add_option("--ruby-rate", given.rubyRate, "share of kanji words with a reading that carry it as ruby")
                 ->check(CLI::Range(0.0, 1.0));
    f.gap = app.add_option("--ruby-gap", given.rubyGapPx, "pixels between the line's edge and the ruby's ink, 0 to 10")
                ->check(CLI::Range(0, 10));
    f.length = app.add_option("--ruby-length", given.rubyLength, "kana in every ruby, 1 to 5")->check(CLI::Range(1, 5));
    f.base = app.add_option("--ruby-base", given.rubyBase, "characters under every ruby, 1 or 2")->check(CLI::Range(1, 2));
    return f;
}

// Lays the ruby options given on the command line (in given) over o, which a preset has set.
inline void keepGivenRuby(const RubyFlags& f, const SynthOptions& given, SynthOptions& o) {
    if (f.rate->count() > 0) o.rubyRate = given.rubyRate;
    if (f.gap->count() > 0) o.rubyGapPx = given.rubyGapPx;
    if (f.length->count() > 0) o.rubyLength = given.rubyLength;
    if (f.base->count() > 0) o.rubyBase = given.rubyBase;
}
