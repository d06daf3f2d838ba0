#include "options.h"

#include "error.h"
#include "lvglformat.h"
#include "process.h"
#include "textrenderer.h"

#include <QDir>
#include <QRegularExpression>

namespace zentraq::cli {
namespace {

using rgbqumo::PixelFormatInfo;

// The names of the pixel formats for which `has` holds: "gray4, gray2 and
// mono".
template <class Has> QString formatsWhere(Has has) {
    QStringList names;
    for (const PixelFormatInfo& f : rgbqumo::pixelFormats()) {
        if (has(f))
            names << QString::fromLatin1(f.name);
    }
    return listed(names);
}

std::optional<core::Scan> scanNamed(QStringView name) {
    if (name == u"row")
        return core::Scan::Row;
    if (name == u"column")
        return core::Scan::Column;
    if (name == u"page")
        return core::Scan::Page;
    if (name == u"band")
        return core::Scan::Band;
    return std::nullopt;
}

} // namespace

void LineOptions::refuse(const QString& message) const {
    usageError(message);
}

OutputOptions parseOutput(const CommandLine& line, core::DataForm defaultForm,
                          const char* defaultName, const QStringList& shapes) {
    OutputOptions o;
    o.output = line.value("output");
    o.quiet = line.isSet("quiet");
    const bool binary = line.isSet("binary");
    const QString format = line.value("format");
    o.form = binary ? core::DataForm::Binary : defaultForm;
    if (!format.isEmpty()) {
        if (shapes.contains(format)) {
            o.shape = format;
        } else if (format != QLatin1String("hex") && format != QLatin1String("c")) {
            QStringList known{QStringLiteral("hex"), QStringLiteral("c")};
            known << shapes;
            for (QString& k : known)
                k = u'\'' + k + u'\'';
            refuseValue("format", listed(known, QStringLiteral(" or ")), format);
        }
        if (binary)
            usageError(QStringLiteral("--binary and --format %1 exclude each other").arg(format));
        o.form = format == QLatin1String("hex")           ? core::DataForm::Text
                 : format.endsWith(QLatin1String("-bin")) ? core::DataForm::Binary
                                                          : core::DataForm::C;
    }
    o.name = line.value("name");
    if (!o.name.isEmpty()) {
        if (o.form != core::DataForm::C)
            usageError(shapes.isEmpty()
                           ? QStringLiteral("--name names the array of --format c")
                           : QStringLiteral("--name names the C declarations of --format c, %1")
                                 .arg(listed(QStringList(shapes).filter(
                                     QRegularExpression(QStringLiteral("^(?!.*-bin$)"))))));
        if (!isCIdentifier(o.name))
            refuseValue("name", QStringLiteral("a C identifier (letters, digits, '_')"), o.name);
        if (isCKeyword(o.name))
            usageError(
                QStringLiteral("--name wants a C identifier, not the C keyword '%1'").arg(o.name));
    }
    if (o.form == core::DataForm::C && o.name.isEmpty())
        o.name = QString::fromLatin1(defaultName);
    o.files = parseResultFiles(line, o.output);
    return o;
}

ResultFiles parseResultFiles(const CommandLine& line, const QString& output) {
    ResultFiles files;
    const QString depfile = line.value("depfile");
    files.depfile = nativeName(depfile).toStdString();
    files.keepUnchanged = line.isSet("keep-unchanged");
    const bool toFile = !output.isEmpty() && output != QLatin1String("-");
    if (!depfile.isEmpty() && !toFile)
        usageError(QStringLiteral("--depfile names the result file in a Make rule; give -o OUT"));
    if (files.keepUnchanged && !toFile)
        usageError(QStringLiteral("--keep-unchanged is for a result file; give -o OUT"));
    if (sameFileName(depfile, output))
        usageError(QStringLiteral("--depfile and -o name the same file"));
    return files;
}

bool sameFileName(const QString& a, const QString& b) {
    const auto place = [](const QString& name) {
        return nativeName(QDir::cleanPath(QDir::current().absoluteFilePath(name)));
    };
    const auto writable = [](const QString& name) {
        return !name.isEmpty() && name != QLatin1String("-");
    };
    return writable(a) && writable(b) && place(a) == place(b);
}

core::Layout parseLayout(const CommandLine& line, int bits) {
    core::Layout layout;
    layout.bits = bits;
    if (const auto scan =
            parsedOption(line, "scan", scanNamed, QStringLiteral("row, column, page or band")))
        layout.scan = *scan;
    layout.pad = line.isSet("pad");
    layout.msbFirst = line.isSet("msb-first");
    switch (core::layoutProblem(layout)) {
    case core::LayoutProblem::None:
        break;
    case core::LayoutProblem::PadOutsideRowColumn:
        usageError(QStringLiteral("--pad is for the row and column scans: page and band bytes "
                                  "never share rows or columns"));
    case core::LayoutProblem::PadWholeBytes:
        usageError(QStringLiteral("--pad is for pixels narrower than a byte"));
    case core::LayoutProblem::WholeBytesInBands:
    case core::LayoutProblem::BitsNotPackable:
        usageError(
            QStringLiteral("--scan %1 is for pixels narrower than a byte").arg(line.value("scan")));
    }
    return layout;
}

CellOptions parseCell(const CommandLine& line) {
    CellOptions o;
    constexpr int MaxSide = 256;
    const QString size = line.value("size");
    if (size.isEmpty())
        usageError(QStringLiteral("%1 needs --size WxH, from 1x1 to %2x%2")
                       .arg(line.commandName(), QString::number(MaxSide)));
    const QSize cell = parseSize("size", size, MaxSide, MaxSide * MaxSide);
    o.shape.width = cell.width();
    o.shape.height = cell.height();
    if (const QString px = line.value("pixel-size"); !px.isEmpty())
        o.shape.pixelSize = parseCount("pixel-size", px, 1, text::MaxPixelSize);
    o.fontFamily = line.value("font");
    o.fontFile = line.value("font-file");
    if (!o.fontFamily.isEmpty() && !o.fontFile.isEmpty())
        usageError(QStringLiteral("--font and --font-file exclude each other"));
    o.shape.layout = parseLayout(line, 1);
    o.shape.invert = line.isSet("invert");
    return o;
}

bool parseMissing(const CommandLine& line) {
    if (!line.isSet("missing"))
        return false;
    for (const char* name : {"output", "format", "binary", "name", "scan", "pad", "msb-first",
                             "invert", "depfile", "keep-unchanged"}) {
        if (line.isSet(name))
            usageError(
                QStringLiteral("--missing only lists characters; it takes no output options"));
    }
    return true;
}

QString pixelFormatHelp() {
    QStringList items;
    for (const PixelFormatInfo& f : rgbqumo::pixelFormats())
        items << QStringLiteral("%1: %2").arg(QLatin1String(f.name), QLatin1String(f.description));
    return items.join(QStringLiteral("; "));
}

void parsePictureData(const CommandLine& line, rgbqumo::DataSettings& s) {
    if (const auto format = parsedOption(line, "pixel", rgbqumo::parsePixelFormat,
                                         rgbqumo::pixelFormatNames().join(QStringLiteral(", "))))
        s.pixel = *format;
    const PixelFormatInfo& info = rgbqumo::pixelFormatInfo(s.pixel);
    const QString format = QString::fromLatin1(info.name);
    const QString order = line.value("byte-order");
    if (!order.isEmpty()) {
        if (order != QLatin1String("low-first") && order != QLatin1String("high-first"))
            refuseValue("byte-order", QStringLiteral("'low-first' or 'high-first'"), order);
        if (!rgbqumo::hasByteOrder(s.pixel))
            usageError(QStringLiteral("--byte-order is for the 16-bit formats %1, not %2")
                           .arg(formatsWhere([](const PixelFormatInfo& f) { return f.bits == 16; }),
                                format));
        s.highByteFirst = order == QLatin1String("high-first");
    }
    for (const char* packedOnly : {"scan", "pad", "msb-first"}) {
        if (info.bits >= 8 && line.isSet(packedOnly))
            usageError(QStringLiteral("%1 is for the packed formats %2; %3 takes whole bytes per "
                                      "pixel")
                           .arg(optionName(packedOnly),
                                formatsWhere([](const PixelFormatInfo& f) { return f.bits < 8; }),
                                format));
    }
    s.layout = parseLayout(line, info.bits);
    s.invert = line.isSet("invert");
    if (s.invert && !info.grey)
        usageError(QStringLiteral("--invert is for the grey formats %1, not %2")
                       .arg(formatsWhere([](const PixelFormatInfo& f) { return f.grey; }), format));
}

// Text for a C declaration: printable ASCII that cannot end the declaration,
// open a comment or a block, or start a directive.
bool isAttribute(const QString& text) {
    for (QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() > 0x7E || QStringLiteral(";{}#=\\").contains(c))
            return false;
    return !text.trimmed().isEmpty() && !text.contains(QLatin1String("/*")) &&
           !text.contains(QLatin1String("*/")) && !text.contains(QLatin1String("//"));
}

void parseDither(const CommandLine& line, rgbqumo::DataSettings& s, bool pixels) {
    const QString format = rgbqumo::pixelFormatName(s.pixel);
    if (const auto mode = parsedOption(line, "dither", rgbqumo::parseDitherMode,
                                       QStringLiteral("none, floyd-steinberg or bayer4"))) {
        s.dither = *mode;
        if (s.dither != rgbqumo::DitherMode::None && pixels && !rgbqumo::acceptsDither(s.pixel))
            usageError(QStringLiteral("--dither is for the formats with fewer than 8 bits per "
                                      "channel; %1 has 8, nothing to dither")
                           .arg(format));
    }
    if (const QString threshold = line.value("threshold"); !threshold.isEmpty()) {
        s.threshold =
            parseCount("threshold", threshold, rgbqumo::MinThreshold, rgbqumo::MaxThreshold);
        if (s.pixel != rgbqumo::PixelFormat::Mono)
            usageError(QStringLiteral("--threshold is for --pixel mono, not %1").arg(format));
    }
}

void parseFitting(const CommandLine& line, rgbqumo::DataSettings& s) {
    rgbqumo::Fitting& f = s.fitting;
    if (const auto r = parsedOption(line, "rotate", rgbqumo::parseRotation,
                                    QStringLiteral("90, 180 or 270 (degrees clockwise)")))
        f.rotation = *r;
    if (const auto m = parsedOption(line, "flip", rgbqumo::parseFlip,
                                    QStringLiteral("horizontal or vertical"))) {
        f.flipHorizontal = *m == rgbqumo::Flip::Horizontal;
        f.flipVertical = *m == rgbqumo::Flip::Vertical;
    }
    if (const QString resize = line.value("resize"); !resize.isEmpty())
        f.resize = parseSize("resize", resize, rgbqumo::MaxFitSide, qint64(1) << 62);
    if (const auto mode = parsedOption(line, "fit", rgbqumo::parseFit,
                                       QStringLiteral("contain, cover or stretch"))) {
        if (!f.resize.isValid())
            usageError(QStringLiteral("--fit says how --resize fits the picture; give --resize "
                                      "WxH too"));
        f.fit = *mode;
    }
    if (const auto bg = parsedOption(line, "background", lvgl::parseColour,
                                     QStringLiteral("white, black, #RRGGBB or 0xRRGGBB")))
        s.background = *bg;
}

} // namespace zentraq::cli
