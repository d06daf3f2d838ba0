#include "convert.h"

#include "emfdrawing.h"
#include "wmfdrawing.h"

namespace zentraq::metafile {

std::variant<Prepared, Failure> prepare(const QByteArray& data, qint64 maxPixels) {
    const auto inspected = inspect(data);
    if (const auto* p = std::get_if<Problem>(&inspected))
        return Failure{Failure::Invalid, *p, 0, 0};

    Prepared out;
    out.layout = std::get<Layout>(inspected);
    const qint64 w = out.layout.pixelWidth, h = out.layout.pixelHeight;
    if (w > maxPixels / h || w > 0x7FFFFFFF / 4)
        return Failure{Failure::TooLarge, {}, w, h};
    if (out.layout.kind == Kind::Emf)
        if (const auto failed = emfToSvg(data, out.svg))
            return Failure{Failure::Invalid, *failed, 0, 0};
    return out;
}

std::variant<QImage, Failure> draw(const QByteArray& data, const Prepared& prepared) {
    QImage picture(prepared.layout.pixelWidth, prepared.layout.pixelHeight, QImage::Format_RGB32);
    if (picture.isNull())
        return Failure{Failure::Memory, {}, 0, 0};
    picture.fill(Qt::white);
    const std::optional<Problem> failed =
        prepared.layout.kind == Kind::Emf ? drawSvg(prepared.svg, prepared.layout.frame, picture)
                                          : drawWmf(data, prepared.layout, picture);
    if (failed)
        return Failure{Failure::Invalid, *failed, 0, 0};
    return picture;
}

} // namespace zentraq::metafile
