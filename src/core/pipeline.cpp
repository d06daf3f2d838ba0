#include "pipeline.h"

#include "runtime_error.h"

namespace zentraq::core {

namespace {

Layout withBits(Layout layout, int bits) {
    layout.bits = bits;
    return layout;
}

} // namespace

Pipeline::Pipeline(SampleEncoder& encoder, Layout layout, int width, int height, Formatter* out,
                   long long windowBytes)
    : m_encoder(encoder), m_packer(withBits(layout, encoder.bits()), width, height, windowBytes),
      m_out(out), m_sampleText(out && out->form() != DataForm::Binary && encoder.bits() % 8 == 0 &&
                               layout.scan == Scan::Row) {
    m_pixels.resize(std::size_t(width));
    m_samples.resize(std::size_t(width));
}

void Pipeline::deliver() {
    if (!m_out)
        return;
    m_out->bytes(m_packer.ready());
    m_packer.clearReady();
}

void Pipeline::pixels(PixelSource& source, int y, int x, int count) {
    source.read(y, x, count, m_pixels.data());
    try {
        m_encoder.encodeRow(m_pixels.data(), count, m_samples.data());
    } catch (const RuntimeError&) {
        if (count == 1)
            throw;
        // One by one up to the pixel that fails, which throws again.
        for (int i = 0; i < count; ++i) {
            m_encoder.encodeRow(m_pixels.data() + i, 1, m_samples.data());
            m_packer.add(m_samples.data(), 1);
            deliver();
        }
        throw; // not reached: the same pixel fails again
    }
    if (m_sampleText) {
        m_out->samples(m_samples.data(), count, m_encoder.bits() / 8, m_packer.layout().byteOrder);
        m_packer.addWritten(count);
        return;
    }
    m_packer.add(m_samples.data(), count);
    deliver();
}

void Pipeline::frame(PixelSource& source, std::string_view label) {
    const int width = int(m_pixels.size());
    for (int pass = 0; pass < m_packer.passes(); ++pass) {
        if (pass > 0)
            m_encoder.restart();
        for (int y = 0; y < source.height(); ++y)
            pixels(source, y, 0, width);
        endFrame(label);
    }
}

void Pipeline::endFrame(std::string_view label) {
    m_packer.endFrame();
    deliver();
    if (m_out && m_packer.frameDone())
        m_out->endFrame(label);
}

} // namespace zentraq::core
