#include "epaper.h"

#include "checked.h"
#include "encode.h"
#include "imagerows.h"
#include "transform.h"

#include <algorithm>
#include <climits>
#include <stdexcept>

namespace zentraq::epaper {
namespace {

struct BuiltIn {
    const char* name;
    std::vector<std::pair<const char*, QRgb>> colours;
};

const std::vector<BuiltIn>& builtIns() {
    static const std::vector<BuiltIn> panels{
        {"bw", {{"black", 0x000000}, {"white", 0xFFFFFF}}},
        {"bwr", {{"black", 0x000000}, {"white", 0xFFFFFF}, {"red", 0xFF0000}}},
        {"bwy", {{"black", 0x000000}, {"white", 0xFFFFFF}, {"yellow", 0xFFFF00}}},
        {"bwry",
         {{"black", 0x000000}, {"white", 0xFFFFFF}, {"yellow", 0xFFFF00}, {"red", 0xFF0000}}},
        {"7color",
         {{"black", 0x000000},
          {"white", 0xFFFFFF},
          {"green", 0x00FF00},
          {"blue", 0x0000FF},
          {"red", 0xFF0000},
          {"yellow", 0xFFFF00},
          {"orange", 0xFF8000}}},
    };
    return panels;
}

int clampByte(int v) {
    return v < 0 ? 0 : (v > 255 ? 255 : v);
}

// The luma the plans are sorted by (the one of the grey formats).
int lumaOf(const std::array<int, 3>& c) {
    return rgbqumo::lumaOf(c[0], c[1], c[2]);
}

QByteArray cName(const QByteArray& name) {
    QByteArray out;
    for (char c : name)
        out += (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
    return out;
}

} // namespace

int Panel::white() const {
    for (std::size_t i = 0; i < colours.size(); ++i)
        if ((colours[i] & 0xFFFFFF) == 0xFFFFFF)
            return int(i);
    return -1;
}

int Panel::indexBits() const {
    const std::size_t n = colours.size();
    return n <= 2 ? 1 : n <= 4 ? 2 : n <= 16 ? 4 : 8;
}

QList<int> Panel::planeColours() const {
    QList<int> planes;
    const int w = white();
    for (int i = 0; i < int(colours.size()); ++i)
        if (i != w)
            planes << i;
    return planes;
}

QStringList builtInPanelNames() {
    QStringList names;
    for (const BuiltIn& b : builtIns())
        names << QString::fromLatin1(b.name);
    return names;
}

std::optional<Panel> builtInPanel(QStringView name) {
    for (const BuiltIn& b : builtIns()) {
        if (name != QLatin1StringView(b.name))
            continue;
        Panel p;
        p.name = QString::fromLatin1(b.name);
        for (const auto& [colourName, rgb] : b.colours) {
            p.colours.push_back(0xFF000000u | rgb);
            p.names << QByteArray(colourName);
        }
        return p;
    }
    return std::nullopt;
}

std::optional<Panel> readPalette(const QByteArray& text, const QString& name, QString* problem) {
    Panel p;
    p.name = name;
    const QList<QByteArray> lines = text.split('\n');
    auto fail = [&](int line, const QString& why) -> std::optional<Panel> {
        *problem = QStringLiteral("line %1: %2").arg(line).arg(why);
        return std::nullopt;
    };
    for (int i = 0; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        if (line.isEmpty())
            continue;
        const QList<QByteArray> words = line.simplified().split(' ');
        const QByteArray& colour = words[0];
        bool hex = colour.size() == 7 && colour[0] == '#';
        for (int k = 1; hex && k < 7; ++k)
            hex = std::isxdigit(static_cast<unsigned char>(colour[k])) != 0;
        const QByteArray shown = line.left(40);
        if (!hex || words.size() > 2)
            return fail(i + 1, QStringLiteral("'%1' is not #RRGGBB and an optional name")
                                   .arg(QString::fromUtf8(shown)));
        QByteArray colourName = words.size() == 2 ? words[1] : QByteArray();
        for (char c : colourName)
            if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_'))
                return fail(i + 1, QStringLiteral("the name '%1' is not letters, digits and '_'")
                                       .arg(QString::fromUtf8(colourName.left(40))));
        const QRgb rgb = 0xFF000000u | colour.mid(1).toUInt(nullptr, 16);
        if (std::find(p.colours.begin(), p.colours.end(), rgb) != p.colours.end())
            return fail(i + 1, QStringLiteral("%1 is in the palette already")
                                   .arg(QString::fromLatin1(colour.toUpper())));
        if (p.colours.size() == 256)
            return fail(i + 1, QStringLiteral("a palette has at most 256 colours"));
        if (colourName.isEmpty())
            colourName = "c" + QByteArray::number(qsizetype(p.colours.size()));
        if (p.names.contains(cName(colourName)))
            return fail(i + 1, QStringLiteral("the name '%1' is taken already")
                                   .arg(QString::fromUtf8(colourName)));
        p.colours.push_back(rgb);
        p.names << cName(colourName);
    }
    if (p.colours.size() < 2) {
        *problem = QStringLiteral("a palette needs at least 2 colours, one #RRGGBB a line");
        return std::nullopt;
    }
    return p;
}

// A Bayer plan: 16 entries whose mean is near the colour, by luma.
struct PanelEncoder::Plan {
    QRgb colour = 0; // 0: empty (planned colours are opaque)
    std::array<std::uint8_t, 16> entries{};
};

namespace {
constexpr std::size_t PlanSlots = 4096;
}

PanelEncoder::PanelEncoder(const Panel& panel, rgbqumo::DitherMode dither, int width)
    : m_dither(dither), m_width(width), m_bits(panel.indexBits()),
      m_nearest(std::size_t(1) << 18, -1) {
    if (panel.colours.empty() || panel.colours.size() > 256)
        throw std::invalid_argument("a panel has 1 to 256 colours");
    if (width < 0)
        throw std::invalid_argument("negative row width");
    for (QRgb c : panel.colours)
        m_colours.push_back({qRed(c), qGreen(c), qBlue(c)});
    std::vector<int> order;
    for (int i = 0; i < int(m_colours.size()); ++i)
        order.push_back(i);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        return lumaOf(m_colours[std::size_t(a)]) < lumaOf(m_colours[std::size_t(b)]);
    });
    m_lumaRank.resize(order.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        m_lumaRank[std::size_t(order[i])] = int(i);
    if (dither == rgbqumo::DitherMode::FloydSteinberg) {
        m_errThis.assign((std::size_t(width) + 2) * 3, 0);
        m_errNext.assign((std::size_t(width) + 2) * 3, 0);
    }
    if (dither == rgbqumo::DitherMode::Bayer4)
        m_plans = std::make_unique<Plan[]>(PlanSlots);
}

PanelEncoder::~PanelEncoder() = default;

void PanelEncoder::restart() {
    m_row = 0;
    std::fill(m_errThis.begin(), m_errThis.end(), 0);
}

int PanelEncoder::nearest(QRgb pixel) {
    const int r = qRed(pixel) >> 2, g = qGreen(pixel) >> 2, b = qBlue(pixel) >> 2;
    std::int16_t& slot = m_nearest[std::size_t(r << 12 | g << 6 | b)];
    if (slot >= 0)
        return slot;
    // From the corner of the pixel's cell, as Pillow's colour table has it.
    const int cr = r << 2, cg = g << 2, cb = b << 2;
    int best = INT_MAX, bestIndex = 0;
    for (std::size_t i = 0; i < m_colours.size(); ++i) {
        const auto& c = m_colours[i];
        const int d =
            (cr - c[0]) * (cr - c[0]) + (cg - c[1]) * (cg - c[1]) + (cb - c[2]) * (cb - c[2]);
        if (d < best) {
            best = d;
            bestIndex = int(i);
        }
    }
    slot = std::int16_t(bestIndex);
    return bestIndex;
}

const PanelEncoder::Plan& PanelEncoder::planOf(QRgb pixel) {
    pixel |= 0xFF000000u;
    Plan& plan = m_plans[(std::size_t(pixel) * 0x9E3779B1u >> 12) & (PlanSlots - 1)];
    if (plan.colour == pixel)
        return plan;
    const std::array<int, 3> goal{qRed(pixel), qGreen(pixel), qBlue(pixel)};
    std::array<int, 3> error{};
    std::array<int, 16> chosen{};
    for (int i = 0; i < 16; ++i) {
        const int index = nearest(qRgb(clampByte(goal[0] + error[0]), clampByte(goal[1] + error[1]),
                                       clampByte(goal[2] + error[2])));
        chosen[std::size_t(i)] = index;
        for (std::size_t k = 0; k < 3; ++k)
            error[k] += goal[k] - m_colours[std::size_t(index)][k];
    }
    // Darkest first, so that the matrix spreads the entries evenly.
    std::stable_sort(chosen.begin(), chosen.end(), [&](int a, int b) {
        return m_lumaRank[std::size_t(a)] < m_lumaRank[std::size_t(b)];
    });
    for (std::size_t i = 0; i < 16; ++i)
        plan.entries[i] = std::uint8_t(chosen[i]);
    plan.colour = pixel;
    return plan;
}

void PanelEncoder::encodeRow(const QRgb* pixels, int width, std::uint32_t* samples) {
    if (width != m_width)
        throw std::invalid_argument("row width differs from the encoder's");
    switch (m_dither) {
    case rgbqumo::DitherMode::None:
        for (int x = 0; x < width; ++x)
            samples[x] = std::uint32_t(nearest(pixels[x]));
        break;
    case rgbqumo::DitherMode::Bayer4:
        for (int x = 0; x < width; ++x)
            samples[x] = planOf(pixels[x]).entries[std::size_t(core::bayer4(m_row, x))];
        break;
    case rgbqumo::DitherMode::FloydSteinberg: {
        const int* here = m_errThis.data();
        int* next = m_errNext.data();
        std::fill(next, next + 6, 0);
        int right[3] = {};
        for (int x = 0; x < width; ++x) {
            const int slot = (x + 1) * 3;
            const QRgb p = pixels[x];
            const int v[3] = {clampByte(qRed(p) + core::receivedError(here, slot, right[0])),
                              clampByte(qGreen(p) + core::receivedError(here, slot + 1, right[1])),
                              clampByte(qBlue(p) + core::receivedError(here, slot + 2, right[2]))};
            const int index = nearest(qRgb(v[0], v[1], v[2]));
            samples[x] = std::uint32_t(index);
            const auto& c = m_colours[std::size_t(index)];
            for (int k = 0; k < 3; ++k)
                core::spreadError(v[k] - c[std::size_t(k)], slot + k, 3, right[k], next);
        }
        std::swap(m_errThis, m_errNext);
        break;
    }
    }
    ++m_row;
}

namespace {

// One plane: 0 where the panel's encoder gives `index`, 1 elsewhere.
class PlaneBits : public core::SampleEncoder {
public:
    PlaneBits(PanelEncoder& indices, int index, int width)
        : m_indices(indices), m_index(std::uint32_t(index)), m_row(std::size_t(width)) {}
    int bits() const override { return 1; }
    void encodeRow(const QRgb* pixels, int width, std::uint32_t* samples) override {
        m_indices.encodeRow(pixels, width, m_row.data());
        for (int x = 0; x < width; ++x)
            samples[x] = m_row[std::size_t(x)] == m_index ? 0 : 1;
    }
    void restart() override { m_indices.restart(); }

private:
    PanelEncoder& m_indices;
    std::uint32_t m_index;
    std::vector<std::uint32_t> m_row;
};

} // namespace

core::Layout panelLayout(const PanelSettings& s) {
    core::Layout layout;
    layout.bits = s.planes ? 1 : s.panel.indexBits();
    layout.pad = layout.bits < 8;
    layout.msbFirst = true;
    return layout;
}

qint64 panelBytes(const PanelSettings& s, int width, int height) {
    const qint64 one = core::frameBytes(panelLayout(s), width, height);
    return s.planes ? checked::mul(one, qint64(s.panel.planeColours().size())) : one;
}

PanelData::PanelData(QImage picture, const rgbqumo::DataSettings& data, const PanelSettings& panel)
    : m_data(data), m_panel(panel), m_original(picture.size()) {
    if (panel.planes && panel.panel.white() < 0)
        throw std::invalid_argument("planes need a white entry");
    if (rgbqumo::isFitted(data.fitting)) {
        m_picture = core::opaquePicture(std::move(picture), data.background);
        rgbqumo::Fitting fitting = data.fitting;
        fitting.canvas = data.background;
        m_source = std::make_unique<rgbqumo::FittedPixels>(m_picture, fitting);
    } else {
        m_picture = std::move(picture);
        m_source = std::make_unique<core::ImageRows>(m_picture, data.background);
    }
}

PanelData::~PanelData() = default;

qint64 PanelData::bytes() const {
    return panelBytes(m_panel, m_source->width(), m_source->height());
}

QStringList PanelData::describe() const {
    const Panel& p = m_panel.panel;
    QStringList colours;
    for (std::size_t i = 0; i < p.colours.size(); ++i)
        colours << QStringLiteral("%1 %2 (%3)")
                       .arg(QString::fromLatin1(p.names[qsizetype(i)]))
                       .arg(i)
                       .arg(rgbqumo::colourName(p.colours[i]));
    QStringList lines{QStringLiteral("panel: %1, %2 colours: %3")
                          .arg(p.name)
                          .arg(p.colours.size())
                          .arg(colours.join(QStringLiteral(", ")))};
    if (m_panel.planes) {
        QStringList planes;
        for (int i : p.planeColours())
            planes << QString::fromLatin1(p.names[i]);
        lines << QStringLiteral("planes: %1, one after the other, 1 bit a pixel: 0 where the "
                                "pixel has the plane's colour, 1 elsewhere (white)")
                     .arg(planes.join(QStringLiteral(", ")));
    } else {
        lines << QStringLiteral("packed indices: %1 bit%2 a pixel, the colour's number")
                     .arg(p.indexBits())
                     .arg(p.indexBits() > 1 ? QStringLiteral("s") : QString());
    }
    lines << QStringLiteral("layout: rows from the top, every row starting on a new byte, the "
                            "first pixel of each byte in its highest bits")
          << QStringLiteral("colour: the nearest, as Pillow's quantize(palette=...) picks it "
                            "(each channel's low two bits cleared, then the least squared "
                            "distance)")
          << rgbqumo::ditherLine(m_data.dither);
    rgbqumo::Fitting fitting = m_data.fitting;
    fitting.canvas = m_data.background;
    lines << rgbqumo::fittingLine(fitting, m_original);
    if ((m_data.background & 0xFFFFFF) != 0xFFFFFF)
        lines << QStringLiteral("background: ") + rgbqumo::colourName(m_data.background) +
                     QStringLiteral(" under transparent parts");
    return lines;
}

void PanelData::writePlane(core::Formatter& out, int plane) {
    const int w = m_source->width(), h = m_source->height();
    PanelEncoder indices(m_panel.panel, m_data.dither, w);
    const core::Layout layout = panelLayout(m_panel);
    if (plane < 0) {
        core::Pipeline(indices, layout, w, h, &out).frame(*m_source);
        return;
    }
    PlaneBits bits(indices, plane, w);
    core::Pipeline(bits, layout, w, h, &out).frame(*m_source);
}

void PanelData::write(core::Formatter& out) {
    if (!m_panel.planes) {
        writePlane(out, -1);
        return;
    }
    for (int plane : m_panel.panel.planeColours())
        writePlane(out, plane);
}

void PanelData::writeArrays(core::Formatter& out, const QByteArray& name,
                            const QByteArray& attribute) {
    const qint64 one =
        core::frameBytes(panelLayout(m_panel), m_source->width(), m_source->height());
    if (!m_panel.planes) {
        out.beginArray(name, one, attribute);
        writePlane(out, -1);
        out.finish();
        return;
    }
    bool first = true;
    for (int plane : m_panel.panel.planeColours()) {
        if (!first)
            out.text(QByteArrayView("\r\n"));
        first = false;
        out.beginArray(name + '_' + m_panel.panel.names[plane], one, attribute);
        writePlane(out, plane);
        out.finish();
    }
}

QImage panelPicture(const QByteArray& bytes, const PanelSettings& s, QSize size) {
    const int w = size.width(), h = size.height();
    if (bytes.size() != panelBytes(s, w, h))
        throw std::invalid_argument("the data is not the picture's");
    QImage picture(w, h, QImage::Format_RGB32);
    if (picture.isNull())
        return picture;
    const core::Layout layout = panelLayout(s);
    const int bits = layout.bits;
    const qint64 stride = core::frameBytes(layout, w, 1);
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.constData());
    auto sample = [&](qint64 offset, int y, int x) {
        const std::uint8_t byte = data[offset + y * stride + qint64(x) * bits / 8];
        const int perByte = 8 / bits;
        return bits == 8 ? int(byte) : byte >> (8 - bits * (x % perByte + 1)) & ((1 << bits) - 1);
    };
    const Panel& p = s.panel;
    const QList<int> planes = p.planeColours();
    const qint64 planeBytes = stride * h;
    for (int y = 0; y < h; ++y) {
        auto* out = reinterpret_cast<QRgb*>(picture.scanLine(y));
        for (int x = 0; x < w; ++x) {
            int index = -1;
            if (s.planes) {
                index = p.white();
                for (int k = 0; k < planes.size(); ++k)
                    if (sample(planeBytes * k, y, x) == 0) {
                        index = planes[k];
                        break;
                    }
            } else {
                index = sample(0, y, x);
            }
            out[x] = index >= 0 && index < int(p.colours.size()) ? p.colours[std::size_t(index)]
                                                                 : qRgb(255, 0, 255);
        }
    }
    return picture;
}

} // namespace zentraq::epaper
