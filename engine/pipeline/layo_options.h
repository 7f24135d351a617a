// The options record read by the one-sheet pipeline.
#pragma once

struct LayoOptions {
    unsigned char dividePage = 0;    // write the two halves of a spread as two files
    unsigned char removeHeader = 0;  // drop header and footer rows before whitening
    unsigned char setMargin = 0;     // crop each output to its text and add the margins
    int horizontalMargin = 0;        // pixels added left and right when setMargin is set
    int verticalMargin = 0;          // pixels added above and below when setMargin is set
    int jpegQuality = 95;            // quality of the JPEG outputs, 1 to 100
    unsigned char outputFormat = 0;  // an OutputFormat: the format the outputs are written in
};

// The format of the outputs: the input's own, or one for all.
enum OutputFormat : unsigned char {
    kFormatSame = 0,
    kFormatPng = 1,
    kFormatTiff = 2,
    kFormatJpeg = 3,
};
