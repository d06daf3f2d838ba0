// The data forms of a picture (the data text, its C array, its bytes) as
// writers, and the table of every picture writer.
#include "picturewriter.h"

#include "csource.h"
#include "pictureforms.h"

#include <cstring>

namespace zentraq::rgbqumo {
namespace {

// The display's pixel data, as the window's temp.txt is made: hex, c or
// binary.
class DataResult : public PictureResult {
public:
    DataResult(PictureSource source, const PictureSettings& s, core::DataForm form)
        : m_data(std::move(source.picture), s.data), m_name(std::move(source.name)), m_settings(s),
          m_form(form) {}

    QSize size() const override { return m_data.size(); }
    qint64 bytes() const override { return m_data.bytes(); }
    QStringList describe() const override {
        return QStringList{QStringLiteral("Picture data made by zentraq-cli: %1, %2*%3 pixels, %4 "
                                          "bytes")
                               .arg(m_name, QString::number(size().width()),
                                    QString::number(size().height()), QString::number(bytes()))} +
               details();
    }
    QStringList details() const override { return m_data.describe(); }
    qint64 writeFrame(core::ByteSink& sink, const QByteArray&, bool) override {
        return write(sink);
    }
    long long write(core::ByteSink& sink) override {
        core::Formatter out(
            sink, m_form, core::LinePolicy{core::pictureBytesPerLine(m_data.layout().bits), false});
        if (m_form == core::DataForm::C) {
            out.text(core::headerComment(describe()));
            out.beginArray(m_settings.name, m_data.bytes(), m_settings.attribute);
        }
        m_data.write(out);
        out.finish();
        return m_data.bytes();
    }

private:
    PictureData m_data;
    QString m_name;
    PictureSettings m_settings;
    core::DataForm m_form;
};

class DataWriter : public PictureWriter {
public:
    explicit DataWriter(core::DataForm form) : m_form(form) {}
    const char* name() const override {
        return m_form == core::DataForm::Text ? "hex"
               : m_form == core::DataForm::C  ? "c"
                                              : "binary";
    }
    const char* summary() const override {
        return m_form == core::DataForm::Text ? "the data text"
               : m_form == core::DataForm::C
                   ? "a C array with a header comment that records the settings"
                   : "the bytes themselves";
    }
    bool binary() const override { return m_form == core::DataForm::Binary; }
    bool takes(const char* option) const override {
        for (const char* n : PixelOptionNames)
            if (std::strcmp(option, n) == 0)
                return true;
        return m_form == core::DataForm::C &&
               (std::strcmp(option, "name") == 0 || std::strcmp(option, "attribute") == 0);
    }
    void check(PictureSettings&, const core::Options&) const override {}
    std::unique_ptr<PictureResult> make(PictureSource source,
                                        const PictureSettings& s) const override {
        return std::make_unique<DataResult>(std::move(source), s, m_form);
    }

private:
    core::DataForm m_form;
};

template <class W, auto... Args> const PictureWriter* instance() {
    static const W writer(Args...);
    return &writer;
}

} // namespace

std::span<const PictureWriter* const> pictureWriters() {
    // One line a writer; --format lists them in this order, all but the
    // last (binary, which --binary picks).
    static const PictureWriter* const table[] = {
        instance<DataWriter, core::DataForm::Text>(),
        instance<DataWriter, core::DataForm::C>(),
        instance<LvglImageWriter, false>(),
        instance<LvglImageWriter, true>(),
        instance<WordArrayWriter>(),
        instance<XbmWriter>(),
        instance<DataWriter, core::DataForm::Binary>(),
    };
    return table;
}

std::span<const PictureWriter* const> pictureFormats() {
    return pictureWriters().first(pictureWriters().size() - 1);
}

const PictureWriter* pictureWriterNamed(QStringView name) {
    return core::writerNamed(pictureWriters(), name);
}

void refuseOtherFormatsOptions(const PictureWriter& writer, const core::Options& options) {
    for (const char* option : LvglOptionNames)
        if (options.isSet(option) && !writer.takes(option))
            options.refuse(QStringLiteral("--%1 is for --format %2")
                               .arg(QLatin1String(option),
                                    core::listed(core::writerNames(
                                        pictureWriters(), [option](const PictureWriter& w) {
                                            return w.takes(option);
                                        }))));
}

QString lvglFormatHelp() {
    QStringList items;
    for (lvgl::Version v : {lvgl::Version::V9, lvgl::Version::V8})
        items << QStringLiteral("LVGL %1: %2")
                     .arg(int(v))
                     .arg(lvgl::formatNames(v).join(QStringLiteral(", ")));
    return items.join(QStringLiteral("; "));
}

} // namespace zentraq::rgbqumo
