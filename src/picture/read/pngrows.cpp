#include "pngrows.h"

#include "encode.h"
#include "pngchunks.h"

#include <cerrno>
#include <cstring>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace zentraq::rgbqumo {

std::unique_ptr<PngRows> PngRows::read(int fd) {
    // The chunks' lengths against the file's size, before libpng allocates
    // what they claim.
    struct stat st {};
    const off_t start = ::lseek(fd, 0, SEEK_CUR);
    if (start < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        pngChunkOverclaim(
            [fd](long long offset, void* out, long long n) {
                return ::pread(fd, out, std::size_t(n), off_t(offset)) == ssize_t(n);
            },
            start, st.st_size))
        return nullptr;
    PngDecoder decoder([fd](void* out, std::size_t n) {
        auto* to = static_cast<char*>(out);
        while (n > 0) {
            const ssize_t got = ::read(fd, to, n);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                return false;
            to += got;
            n -= std::size_t(got);
        }
        return true;
    });
    try {
        if (!decoder.readHeader())
            return nullptr;
        const PngLayout layout = decoder.layout();
        if (layout == PngLayout::Grey16 || layout == PngLayout::Rgbx64 ||
            layout == PngLayout::Rgba64 ||
            static_cast<long long>(decoder.width()) * decoder.height() > MaxPixels)
            return nullptr;
        std::unique_ptr<PngRows> rows(new PngRows);
        rows->m_width = decoder.width();
        rows->m_height = decoder.height();
        rows->m_layout = layout;
        rows->m_stride = pngRowBytes(layout, rows->m_width);
        for (const Argb c : decoder.table())
            rows->m_table.push_back(core::paintedOnWhite(c));
        rows->m_rows = std::make_unique_for_overwrite<std::uint8_t[]>(rows->m_stride *
                                                                      std::size_t(rows->m_height));
        if (!decoder.readPixels(rows->m_rows.get(), rows->m_stride))
            return nullptr;
        return rows;
    } catch (const std::bad_alloc&) {
        // No memory for the pixels: the usual reader says so.
        return nullptr;
    }
}

void PngRows::read(int y, int x, int count, Argb* out) {
    const std::uint8_t* row = m_rows.get() + std::size_t(y) * m_stride;
    switch (m_layout) {
    case PngLayout::Mono:
        for (int i = 0; i < count; ++i) {
            const int px = x + i;
            out[i] = m_table[(row[px >> 3] >> (7 - (px & 7))) & 1];
        }
        return;
    case PngLayout::Indexed8:
        for (int i = 0; i < count; ++i)
            out[i] = m_table[row[x + i]];
        return;
    case PngLayout::Grey8:
        for (int i = 0; i < count; ++i)
            out[i] = argb(row[x + i], row[x + i], row[x + i]);
        return;
    default: // Rgb32 and Argb32: Argb words
        for (int i = 0; i < count; ++i) {
            Argb p;
            std::memcpy(&p, row + std::size_t(x + i) * 4, 4);
            out[i] = core::paintedOnWhite(p);
        }
        return;
    }
}

} // namespace zentraq::rgbqumo
