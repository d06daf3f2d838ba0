#pragma once

// A picture like a photograph for the benchmarks: smooth gradients with
// noise, so that a compressed file of it takes real work to decode and no
// two neighbours are alike.

#include <QImage>
#include <QRandomGenerator>

namespace zentraq::bench {

inline QImage photoLike(int w, int h, quint32 seed = 42) {
    QImage image(w, h, QImage::Format_RGB32);
    QRandomGenerator rng(seed);
    for (int y = 0; y < h; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const int n = static_cast<int>(rng.bounded(24));
            row[x] = qRgb((x * 255 / w + n) & 255, (y * 255 / h + n) & 255,
                          ((x + y) * 127 / (w + h) + 2 * n) & 255);
        }
    }
    return image;
}

} // namespace zentraq::bench
