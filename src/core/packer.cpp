#include "packer.h"

#include "checked.h"
#include "runtime_error.h"

#include <algorithm>
#include <limits>
#include <string>

namespace zentraq::core {
namespace {

bool subByte(int bits) {
    return bits == 1 || bits == 2 || bits == 4;
}

int perByte(const Layout& l) {
    return subByte(l.bits) ? 8 / l.bits : 1;
}

long long ceilDiv(long long a, long long b) {
    return (a + b - 1) / b;
}

// Where sample (x, y) lies in a frame packed with a scan that places
// samples: its byte and, for sub-byte samples, its slot.
struct Place {
    long long byte;
    int slot;
};

Place placeOf(const Layout& l, int width, int height, int x, int y) {
    const int k = perByte(l);
    switch (l.scan) {
    case Scan::Row:
        if (l.pad)
            return {static_cast<long long>(y) * ceilDiv(width, k) + x / k, x % k};
        return {(static_cast<long long>(y) * width + x) / k,
                int((static_cast<long long>(y) * width + x) % k)};
    case Scan::Column:
        if (l.pad)
            return {static_cast<long long>(x) * ceilDiv(height, k) + y / k, y % k};
        return {(static_cast<long long>(x) * height + y) / k,
                int((static_cast<long long>(x) * height + y) % k)};
    case Scan::Page:
        return {static_cast<long long>(y / k) * width + x, y % k};
    case Scan::Band:
        return {static_cast<long long>(x / k) * height + y, x % k};
    }
    return {0, 0};
}

// The bit position of a slot's lowest bit.
int shiftOf(const Layout& l, int slot) {
    return l.msbFirst ? 8 - l.bits * (slot + 1) : l.bits * slot;
}

[[noreturn]] void refuse(const Layout& l) {
    throw RuntimeError(RuntimeError::Other, "无法按此方式排列字节：" + std::to_string(l.bits) +
                                                " bits, scan " + std::to_string(int(l.scan)) +
                                                ", pad " + (l.pad ? "1" : "0"));
}

} // namespace

LayoutProblem layoutProblem(const Layout& l) {
    if (!subByte(l.bits) && l.bits != 8 && l.bits != 16 && l.bits != 24)
        return LayoutProblem::BitsNotPackable;
    if (!subByte(l.bits) && (l.scan == Scan::Page || l.scan == Scan::Band))
        return LayoutProblem::WholeBytesInBands;
    if (l.pad && l.scan != Scan::Row && l.scan != Scan::Column)
        return LayoutProblem::PadOutsideRowColumn;
    if (l.pad && !subByte(l.bits))
        return LayoutProblem::PadWholeBytes;
    return LayoutProblem::None;
}

long long frameBytes(const Layout& l, int width, int height) {
    if (layoutProblem(l) != LayoutProblem::None)
        refuse(l);
    const long long w = width, h = height;
    if (!subByte(l.bits))
        return checked::mul(checked::mul(w, h), static_cast<long long>(l.bits / 8));
    const int k = perByte(l);
    switch (l.scan) {
    case Scan::Row:
        return l.pad ? checked::mul(h, ceilDiv(w, k))
                     : ceilDiv(checked::mul(checked::mul(w, h), static_cast<long long>(l.bits)), 8);
    case Scan::Column:
        return l.pad ? checked::mul(w, ceilDiv(h, k))
                     : ceilDiv(checked::mul(checked::mul(w, h), static_cast<long long>(l.bits)), 8);
    case Scan::Page:
        return checked::mul(ceilDiv(h, k), w);
    case Scan::Band:
        return checked::mul(ceilDiv(w, k), h);
    }
    return 0;
}

Packer::Packer(const Layout& layout, int width, int height, long long windowBytes)
    : m_layout(layout), m_width(width), m_height(height), m_frameBytes(0),
      m_sampleBytes(subByte(layout.bits) ? 0 : layout.bits / 8),
      m_mask(layout.bits >= 32 ? ~0u : (1u << layout.bits) - 1),
      m_bits(m_ready, layout.msbFirst ? BitOrder::MsbFirst : BitOrder::LsbFirst) {
    if (width < 1 || height < 1)
        throw RuntimeError(RuntimeError::Other,
                           "无效的尺寸：" + std::to_string(width) + "*" + std::to_string(height));
    m_frameBytes = frameBytes(layout, width, height);
    if (layout.scan != Scan::Row) {
        // Windows of whole samples.
        const int unit = std::max(m_sampleBytes, 1);
        m_window = std::min(m_frameBytes, std::max<long long>(windowBytes / unit, 1) * unit);
        const long long passes = (m_frameBytes + m_window - 1) / m_window;
        if (passes > std::numeric_limits<int>::max())
            throw RuntimeError::overflow();
        m_passes = int(passes);
        startWindow();
    }
}

void Packer::startWindow() {
    m_windowFirst = static_cast<long long>(m_pass) * m_window;
    m_windowEnd = std::min(m_windowFirst + m_window, m_frameBytes);
    // The ready bytes, once taken, leave their room to the next window.
    if (m_ready.empty() && m_ready.capacity() > m_frame.capacity())
        m_ready.swap(m_frame);
    m_frame.assign(static_cast<std::size_t>(m_windowEnd - m_windowFirst), 0);
}

void Packer::add(const std::uint32_t* samples, int count) {
    if (m_layout.scan == Scan::Row)
        addStreaming(samples, count);
    else
        addPlaced(samples, count);
}

void Packer::advance(int count) {
    m_x += count;
    while (m_x >= m_width) {
        m_x -= m_width;
        ++m_y;
    }
}

void Packer::addStreaming(const std::uint32_t* samples, int count) {
    if (m_sampleBytes > 0) {
        const std::size_t at = m_ready.size();
        m_ready.resize(at + std::size_t(count) * std::size_t(m_sampleBytes));
        std::uint8_t* out = m_ready.data() + at;
        if (m_sampleBytes == 2 && m_layout.byteOrder == ByteOrder::LowFirst) {
            for (int i = 0; i < count; ++i, out += 2)
                storeField(out, samples[i], 2, ByteOrder::LowFirst);
        } else {
            for (int i = 0; i < count; ++i, out += m_sampleBytes)
                storeField(out, samples[i], m_sampleBytes, m_layout.byteOrder);
        }
        advance(count);
        return;
    }
    // The bits of a row run on into the next, or with pad every row starts
    // on a new byte.
    const int bits = m_layout.bits;
    for (int i = 0; i < count; ++i) {
        m_bits.write(samples[i], bits);
        if (++m_x == m_width) {
            m_x = 0;
            ++m_y;
            if (m_layout.pad)
                m_bits.alignToByte();
        }
    }
}

void Packer::addPlaced(const std::uint32_t* samples, int count) {
    if (m_frame.empty())
        startWindow();
    for (int i = 0; i < count; ++i) {
        if (m_y >= m_height)
            throw RuntimeError(RuntimeError::Other, "帧外的像素");
        const Place p = placeOf(m_layout, m_width, m_height, m_x, m_y);
        const long long at = m_sampleBytes > 0 ? p.byte * m_sampleBytes : p.byte;
        if (at >= m_windowFirst && at < m_windowEnd) {
            std::uint8_t* b = m_frame.data() + (at - m_windowFirst);
            if (m_sampleBytes > 0)
                storeField(b, samples[i], m_sampleBytes, m_layout.byteOrder);
            else
                *b = static_cast<std::uint8_t>(
                    *b | ((samples[i] & m_mask) << shiftOf(m_layout, p.slot)));
        }
        if (++m_x == m_width) {
            m_x = 0;
            ++m_y;
        }
    }
}

void Packer::endFrame() {
    if (m_x != 0 || m_y != m_height)
        throw RuntimeError(RuntimeError::Other, "帧不完整：" + std::to_string(m_width) + "*" +
                                                    std::to_string(m_height) + " 的帧停在 (" +
                                                    std::to_string(m_x) + ", " +
                                                    std::to_string(m_y) + ")");
    if (m_layout.scan == Scan::Row) {
        m_bits.alignToByte();
    } else {
        if (m_ready.empty()) {
            // The window itself is handed out; the next one is made when its
            // first sample comes, so a window is never held twice.
            m_ready.swap(m_frame);
            m_frame.clear();
        } else {
            m_ready.insert(m_ready.end(), m_frame.begin(), m_frame.end());
            std::fill(m_frame.begin(), m_frame.end(), 0);
        }
        if (++m_pass == m_passes)
            m_pass = 0;
        if (!m_frame.empty())
            startWindow();
    }
    m_x = 0;
    m_y = 0;
}

void unpackFrame(const Layout& l, int width, int height, const std::uint8_t* bytes,
                 std::vector<std::uint32_t>& samples) {
    frameBytes(l, width, height); // refuses what cannot pack
    samples.resize(std::size_t(width) * std::size_t(height));
    const std::uint32_t mask = (1u << (subByte(l.bits) ? l.bits : 0)) - 1;
    const int sampleBytes = subByte(l.bits) ? 0 : l.bits / 8;
    std::uint32_t* out = samples.data();
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const Place p = placeOf(l, width, height, x, y);
            *out++ = sampleBytes > 0 ? std::uint32_t(loadField(bytes + p.byte * sampleBytes,
                                                               sampleBytes, l.byteOrder))
                                     : (bytes[p.byte] >> shiftOf(l, p.slot)) & mask;
        }
    }
}

} // namespace zentraq::core
