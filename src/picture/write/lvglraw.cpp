#include "lvglraw.h"

#include <stdexcept>

namespace zentraq::lvgl {

QString rawLine(const ImageOptions& o) {
    return QStringLiteral("LVGL %1 image, colour format %2 (%3): %4; width, height and stride 0, "
                          "as LVGL's decoder reads them from the file")
        .arg(int(o.version))
        .arg(formatName(o.format), QString::fromLatin1(formatEnum(o.format, o.version)),
             formatDescription(o.format));
}

qint64 writeRawSource(QByteArrayView file, const ImageOptions& o, const CDeclaration& d,
                      core::ByteSink& sink) {
    if (!isRaw(o.format))
        throw std::invalid_argument("not a raw colour format");
    const bool v9 = o.version == Version::V9;
    const QByteArray attr = d.attribute.isEmpty() ? QByteArray() : d.attribute + ' ';
    core::Formatter f(sink, core::DataForm::C, core::LinePolicy{core::ItemsPerLine, false});
    f.text(d.comment);
    f.text(QByteArray("#if defined(LV_LVGL_H_INCLUDE_SIMPLE)\r\n#include \"lvgl.h\"\r\n"
                      "#elif defined(LV_LVGL_H_INCLUDE_SYSTEM)\r\n#include <lvgl.h>\r\n"
                      "#else\r\n#include \"lvgl/lvgl.h\"\r\n#endif\r\n\r\n"
                      "#ifndef LV_ATTRIBUTE_MEM_ALIGN\r\n#define LV_ATTRIBUTE_MEM_ALIGN\r\n"
                      "#endif\r\n\r\n"));
    const QByteArray map = d.name + "_map";
    const QByteArray attributes =
        "LV_ATTRIBUTE_MEM_ALIGN" + (d.attribute.isEmpty() ? QByteArray() : ' ' + d.attribute);
    f.text(core::declarationText(
        {v9 ? "static const" : "const", core::textView(attributes), "uint8_t", core::textView(map)},
        "\r\n"));
    f.bytes(reinterpret_cast<const std::uint8_t*>(file.data()), file.size());
    const qint64 size = f.byteCount();
    f.finish();

    const QByteArray cf = formatEnum(o.format, o.version);
    QByteArray tail =
        "\r\nconst " + attr + (v9 ? "lv_image_dsc_t " : "lv_img_dsc_t ") + d.name + " = {\r\n";
    if (v9)
        tail += "    .header = {\r\n"
                "        .magic = LV_IMAGE_HEADER_MAGIC,\r\n"
                "        .cf = " +
                cf +
                ",\r\n        .flags = 0,\r\n        .w = 0,\r\n        .h = 0,\r\n"
                "        .stride = 0,\r\n    },\r\n";
    else
        tail += "    .header.cf = " + cf +
                ",\r\n    .header.always_zero = 0,\r\n    .header.reserved = 0,\r\n"
                "    .header.w = 0,\r\n    .header.h = 0,\r\n";
    tail +=
        "    .data_size = sizeof(" + d.name + "_map),\r\n    .data = " + d.name + "_map,\r\n};\r\n";
    f.text(tail);
    f.flush();
    return size;
}

qint64 writeRawFile(QByteArrayView file, const ImageOptions& o, core::ByteSink& sink) {
    if (!isRaw(o.format))
        throw std::invalid_argument("not a raw colour format");
    const int cf = formatId(o.format, o.version);
    QByteArray header = o.version == Version::V9 ? QByteArray(12, '\0') : QByteArray(4, '\0');
    if (o.version == Version::V9) {
        header[0] = char(0x19);
        header[1] = char(cf);
    } else {
        header[0] = char(cf);
    }
    sink.write(header.constData(), header.size());
    sink.write(file.data(), file.size());
    return file.size();
}

} // namespace zentraq::lvgl
