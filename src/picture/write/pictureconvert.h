#pragma once

// Conversion of a picture into the RGB565 data file temp.txt: one item
// "0xLL,0xHH," per pixel (low byte first), rows from the top, each row from
// the left, CR LF after every 8th item counted over the whole picture. The
// window's "生成取模数据" button and the command-line tool share this routine,
// so both write exactly the same bytes.

#include "surface.h"

#include <QString>

#include <chrono>
#include <cstdint>
#include <functional>

namespace zentraq::rgbqumo {

// Where the window writes its data: the program's folder + "/temp.txt".
QString DataFilePath(const QString& programFolder);

// What the caller wants to see of a running conversion. Every hook may be
// empty.
struct ConversionHooks {
    // The data file is open and the size is known; the first pixel follows.
    // The window shows its progress label with an empty caption here.
    std::function<void()> started;
    // A new progress caption, "生成进度:" + percentage + "%", after pixel
    // 10,001, 20,002 and so on.
    std::function<void(const QString&)> progress;
    // Lets the window handle its pending events. Called after a pixel, at
    // most once per `pumpInterval`, the first time after the first pixel.
    // Everything written up to that pixel is in the file before it runs.
    std::function<void()> pump;
    // Asked after every pump; true ends the conversion before the next pixel
    // (the window is being closed).
    std::function<bool()> stopRequested;
    // Zero pumps after every pixel.
    std::chrono::nanoseconds pumpInterval{0};
};

struct ConversionResult {
    double bytes = 0;     // data bytes produced, two per pixel converted
    double total = 0;     // width * height * 2
    bool stopped = false; // ended early because stopRequested said so
};

// Converts the width x height pixels of `picture`, reading each pixel from it
// afresh, into a new file at `path`:
//  1. an existing file at `path` is deleted first; one that is read-only or
//     cannot be deleted ends the conversion before anything is written and is
//     left as it was;
//  2. the file is created new;
//  3. total = width * height * 2, a 32-bit product that must not overflow;
//  4. every pixel is encoded with Rgb565 and written as it is made.
// Failures throw RuntimeError after the file has been closed with everything
// written before the failure: an overflowing size, a pixel outside the
// picture (its colour -1 cannot be encoded), a write error.
ConversionResult ConvertPictureData(const Surface& picture, int width, int height,
                                    const QString& path, const ConversionHooks& hooks = {});

// The data file read back as text (ANSI, which for the data is plain ASCII).
QString ReadDataText(const QString& path);

} // namespace zentraq::rgbqumo
