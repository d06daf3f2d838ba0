#pragma once

// The window's data file (temp.txt) as a configuration of the pipeline: each
// pixel an RGB565 word, low byte first, in the default layout, as data text
// with CR LF after every 8 pixels (16 bytes). The window's conversion and the
// tool's quick picture path both write it through this one definition.
// Plain C++.

#include "carray.h"
#include "formatter.h"
#include "pipeline.h"
#include "rgb565.h"

#include <cstddef>

namespace zentraq::core {

class DataFileText {
public:
    // Frames of width x height to `sink`, kept in blocks of `blockSize`
    // bytes (see Formatter).
    DataFileText(ByteSink& sink, int width, int height, std::ptrdiff_t blockSize = 1 << 20)
        : m_text(sink, DataForm::Text, LinePolicy{pictureBytesPerLine(16), false}, blockSize),
          m_pipeline(m_words, Layout{}, width, height, &m_text) {}
    DataFileText(const DataFileText&) = delete;
    DataFileText& operator=(const DataFileText&) = delete;

    Pipeline& pipeline() { return m_pipeline; }
    Formatter& text() { return m_text; }

private:
    // Declared before the pipeline, which keeps references to both.
    rgbqumo::Rgb565Words m_words;
    Formatter m_text;
    Pipeline m_pipeline;
};

} // namespace zentraq::core
