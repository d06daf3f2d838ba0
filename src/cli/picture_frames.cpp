// zentraq-cli picture --frames: the frames of an animated picture (frames.h),
// each converted as a picture alone would be, in every output form. Text and
// binary data: the frames' data one after another. C forms: one declaration
// a frame, NAME_<frame> (the frame's number in the file), then a table of
// them, the frames' durations in ms and their count. LVGL image files: one
// file a frame, OUT with _<frame> before its extension.
#include "commands.h"
#include "csource.h"
#include "depfile.h"
#include "epaper.h"
#include "error.h"
#include "frames.h"
#include "input.h"
#include "output.h"
#include "process.h"
#include "runtime_error.h"

#include <QFileInfo>

namespace zentraq::cli {
namespace {

using rgbqumo::Frame;
using rgbqumo::FrameSource;

// OUT with "_<frame>" before its extension: anim.bin -> anim_3.bin.
QString numbered(const QString& out, int frame) {
    const qsizetype slash = out.lastIndexOf(u'/');
    const qsizetype dot = out.lastIndexOf(u'.');
    const QString suffix = QStringLiteral("_%1").arg(frame);
    if (dot <= slash + 1) // no extension, or a name that starts with its dot
        return out + suffix;
    return out.left(dot) + suffix + out.mid(dot);
}

struct Selection {
    std::unique_ptr<FrameSource> source;
    int first = 0;
    int last = 0;
    int count() const { return last - first + 1; }
};

Selection openSelection(const PictureOptions& o) {
    Selection s;
    try {
        s.source = rgbqumo::openFrames(readWhole(o.picture), o.picture);
    } catch (const rgbqumo::FramesError& e) {
        failure(QStringLiteral("cannot read picture '%1': %2")
                    .arg(o.picture, QString::fromUtf8(e.what())));
    } catch (const RuntimeError&) {
        // Not a picture that can be read: said as the tool says it.
        readPicture(o.picture);
        throw;
    }
    const int count = s.source->count();
    s.first = o.firstFrame;
    s.last = o.lastFrame < 0 ? count - 1 : o.lastFrame;
    if (s.first >= count || s.last >= count)
        usageError(QStringLiteral("--frames: '%1' has %2 frame%3, 0 to %4; there is no frame %5")
                       .arg(o.picture)
                       .arg(count)
                       .arg(count == 1 ? QString() : QStringLiteral("s"))
                       .arg(count - 1)
                       .arg(std::max(s.first, s.last)));
    try {
        rgbqumo::checkFramePixels(s.source->size(), s.count());
    } catch (const rgbqumo::FramesError& e) {
        failure(QStringLiteral("cannot read picture '%1': %2")
                    .arg(o.picture, QString::fromUtf8(e.what())));
    }
    return s;
}

// Calls `each(frame, number)` for every frame of the selection, in order.
template <class Each> void forEachFrame(const PictureOptions& o, Selection& s, Each each) {
    for (int n = 0; n <= s.last; ++n) {
        Frame f;
        try {
            f = s.source->next();
        } catch (const rgbqumo::FramesError& e) {
            failure(QStringLiteral("cannot read picture '%1': %2")
                        .arg(o.picture, QString::fromUtf8(e.what())));
        }
        if (n >= s.first)
            each(f, n);
    }
}

QString summary(const PictureOptions& o, const Selection& s, qint64 bytes) {
    return QStringLiteral("Frames made by zentraq-cli: %1, frames %2 to %3 of %4, %5*%6 pixels "
                          "each, %7 bytes of data")
        .arg(o.picture)
        .arg(s.first)
        .arg(s.last)
        .arg(s.source->count())
        .arg(s.source->size().width())
        .arg(s.source->size().height())
        .arg(bytes);
}

// The table of the frames' declarations, `type` each.
QByteArray frameTable(const QByteArray& type, const QByteArray& name,
                      const QList<QByteArray>& items) {
    QByteArray text = type + name + "_frames[" + QByteArray::number(items.size()) + "] = {\r\n";
    for (const QByteArray& item : items)
        text += "    " + item + ",\r\n";
    return text + "};\r\n";
}

// The frames' durations and their count.
QByteArray timing(const QByteArray& name, const QList<int>& durations) {
    QByteArray text = "/* How long each frame is shown, in ms */\r\nconst unsigned int " + name +
                      "_durations[" + QByteArray::number(durations.size()) + "] = {";
    for (qsizetype i = 0; i < durations.size(); ++i)
        text += (i ? ", " : "") + QByteArray::number(durations[i]);
    return text + "};\r\nconst unsigned int " + name +
           "_frame_count = " + QByteArray::number(durations.size()) + ";\r\n";
}

void report(const PictureOptions& o, qint64 bytes) {
    if (!o.out.quiet)
        note(QString::fromStdString(core::dataSizeMessage(bytes)));
}

// --format lvgl-bin: one image file a frame, all put in place at the end.
int runImageFiles(const PictureOptions& o, Selection& s) {
    if (o.out.output.isEmpty() || o.out.output == u"-")
        usageError(QStringLiteral("--frames with --format lvgl-bin writes one file a frame: give "
                                  "-o OUT, and OUT_0.bin, OUT_1.bin, ... are written"));
    std::unique_ptr<OutputFile> depfile;
    if (!o.out.files.depfile.empty())
        depfile = std::make_unique<OutputFile>(o.out.files.depfile);
    // Each file is written whole and closed before the next (a file open
    // for each of thousands of frames would run out of descriptors), and
    // all are put in place at the end.
    std::vector<std::unique_ptr<OutputFile>> files;
    std::vector<std::string> names;
    qint64 bytes = 0;
    forEachFrame(o, s, [&](Frame& f, int n) {
        names.push_back(nativeName(numbered(o.out.output, n)).toStdString());
        files.push_back(std::make_unique<OutputFile>(names.back()));
        bytes += o.writer->make({std::move(f.picture), o.picture, {}}, o.settings)
                     ->writeFrame(*files.back(), {}, true);
        files.back()->finish();
    });
    if (depfile) {
        std::string rules;
        for (const std::string& name : names)
            rules += makeRule(name, inputFiles());
        depfile->write(rules);
        depfile->commit();
    }
    for (auto& file : files)
        file->commit(o.out.files.keepUnchanged);
    report(o, bytes);
    return 0;
}

} // namespace

void parseFrames(const CommandLine& line, PictureOptions& o) {
    const QString value = line.value("frames");
    o.frames = line.isSet("frames");
    if (!o.frames)
        return;
    if (value == u"all") {
        o.firstFrame = 0;
        o.lastFrame = -1;
    } else if (const qsizetype dash = value.indexOf(u'-'); dash > 0) {
        o.firstFrame = parseCount("frames", value.left(dash), 0, rgbqumo::MaxFrames - 1);
        o.lastFrame = parseCount("frames", value.mid(dash + 1), 0, rgbqumo::MaxFrames - 1);
        if (o.lastFrame < o.firstFrame)
            usageError(QStringLiteral("--frames %1 runs backwards").arg(value));
    } else {
        o.firstFrame = o.lastFrame = parseCount("frames", value, 0, rgbqumo::MaxFrames - 1);
    }
    if (o.writer->keepsFile(o.settings))
        usageError(QStringLiteral("--frames: --cf %1 keeps the picture file as it is; LVGL's "
                                  "own GIF decoder plays its frames")
                       .arg(lvgl::formatName(o.settings.image.format)));
}

int runFrames(const PictureOptions& o) {
    Selection s = openSelection(o);
    if (o.writer->filePerFrame())
        return runImageFiles(o, s);

    Destination destination(nativeName(o.out.output).toStdString(),
                            o.out.form == core::DataForm::Binary, o.out.files);
    const QByteArray name = o.out.name.toLatin1();
    const bool c = o.out.form == core::DataForm::C;
    QList<QByteArray> items;
    QList<int> durations;
    qint64 bytes = 0;
    QByteArray tableType = "const unsigned char * const ";
    QList<QByteArray> planeNames; // --planes: one table a plane

    if (!o.out.shape.isEmpty()) {
        // LVGL sources and the Arduino arrays: each frame declared whole.
        forEachFrame(o, s, [&](Frame& f, int n) {
            rgbqumo::PictureSettings settings = o.settings;
            settings.name = name + '_' + QByteArray::number(n);
            const auto picture = o.writer->make({std::move(f.picture), o.picture, {}}, settings);
            QByteArray comment;
            if (items.isEmpty())
                comment = core::headerComment(
                    QStringList{summary(o, s, picture->bytes() * s.count())} + picture->details());
            bytes += picture->writeFrame(destination.sink(), comment, items.isEmpty());
            durations << f.durationMs;
            items << o.writer->frameItem(settings.name);
        });
        tableType = o.writer->frameTableType();
        destination.sink().write("\r\n" + frameTable(tableType, name, items) + "\r\n" +
                                 timing(name, durations));
    } else {
        const bool panel = !o.panel.isEmpty();
        std::optional<epaper::PanelSettings> settings;
        if (panel)
            settings = epaper::PanelSettings{panelOf(o), o.planes};
        const int bits = panel ? 8 : rgbqumo::dataLayout(o.settings.data).bits;
        core::Formatter out(destination.sink(), o.out.form,
                            core::LinePolicy{core::pictureBytesPerLine(bits), false});
        forEachFrame(o, s, [&](Frame& f, int n) {
            const QByteArray frameName = name + '_' + QByteArray::number(n);
            durations << f.durationMs;
            items << frameName;
            if (panel) {
                epaper::PanelData data(std::move(f.picture), o.settings.data, *settings);
                if (c && durations.size() == 1) {
                    out.text(core::headerComment(
                        QStringList{summary(o, s, data.bytes() * s.count())} + data.describe()));
                    if (o.planes)
                        for (int plane : settings->panel.planeColours())
                            planeNames << settings->panel.names[plane];
                }
                bytes += data.bytes();
                if (c) {
                    data.writeArrays(out, frameName, o.settings.attribute);
                    out.text(QByteArrayView("\r\n"));
                } else {
                    data.write(out);
                }
                return;
            }
            rgbqumo::PictureData data(std::move(f.picture), o.settings.data);
            if (c && durations.size() == 1)
                out.text(core::headerComment(QStringList{summary(o, s, data.bytes() * s.count())} +
                                             data.describe()));
            bytes += data.bytes();
            if (c) {
                out.beginArray(frameName, data.bytes(), o.settings.attribute);
                data.write(out);
                out.finish();
                out.text(QByteArrayView("\r\n"));
            } else {
                data.write(out);
            }
        });
        if (c) {
            // One table a plane with --planes: NAME_black_frames, ...
            QByteArray text;
            if (planeNames.isEmpty())
                text = frameTable(tableType, name, items);
            for (const QByteArray& plane : planeNames) {
                QList<QByteArray> planeItems;
                for (const QByteArray& item : items)
                    planeItems << item + '_' + plane;
                text += frameTable(tableType, name + '_' + plane, planeItems) + "\r\n";
            }
            out.text(text + (planeNames.isEmpty() ? "\r\n" : "") + timing(name, durations));
            out.flush();
        } else {
            out.finish();
        }
    }
    destination.commit(inputFiles());
    report(o, bytes);
    return 0;
}

} // namespace zentraq::cli
