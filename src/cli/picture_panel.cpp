// zentraq-cli picture --panel: a picture in the colours of a colour e-paper
// panel, as packed indices or as one plane per colour (epaper.h).
#include "commands.h"
#include "csource.h"
#include "epaper.h"
#include "error.h"
#include "input.h"
#include "output.h"
#include "process.h"

namespace zentraq::cli {

epaper::Panel panelNamed(const QString& panel, bool planes) {
    if (const auto p = epaper::builtInPanel(panel))
        return *p;
    QString problem;
    const auto p = epaper::readPalette(readWhole(panel), panel, &problem);
    if (!p)
        failure(QStringLiteral("cannot read palette '%1': %2").arg(panel, problem));
    if (planes && p->white() < 0)
        usageError(QStringLiteral("--planes: the palette '%1' has no white (#FFFFFF), the colour "
                                  "the planes leave blank")
                       .arg(panel));
    return *p;
}

epaper::Panel panelOf(const PictureOptions& o) {
    return panelNamed(o.panel, o.planes);
}

void parsePanel(const CommandLine& line, PictureOptions& o) {
    o.planes = line.isSet("planes");
    o.panel = line.value("panel");
    if (o.panel.isEmpty()) {
        if (o.planes)
            usageError(QStringLiteral("--planes is for the colour planes of --panel; the pixel "
                                      "formats have none"));
        return;
    }
    if (!o.out.shape.isEmpty())
        usageError(QStringLiteral("--panel makes the panel's own data: --format hex or c, or "
                                  "--binary; not --format %1")
                       .arg(o.out.shape));
    for (const char* pixelOnly :
         {"pixel", "byte-order", "scan", "pad", "msb-first", "invert", "threshold"})
        if (line.isSet(pixelOnly))
            usageError(QStringLiteral("%1 is for the pixel formats; --panel data is laid out as "
                                      "the panels' drivers take it")
                           .arg(optionName(pixelOnly)));
}

int runPanel(const PictureOptions& o, Destination& destination) {
    epaper::PanelSettings settings{panelOf(o), o.planes};
    epaper::PanelData data(readPicture(o.picture), o.settings.data, settings);
    core::Formatter out(destination.sink(), o.out.form,
                        core::LinePolicy{core::ItemsPerLine, false});
    if (o.out.form == core::DataForm::C) {
        out.text(core::headerComment(
            QStringList{QStringLiteral("Panel data made by zentraq-cli: %1, %2*%3 pixels, %4 "
                                       "bytes")
                            .arg(o.picture, QString::number(data.size().width()),
                                 QString::number(data.size().height()),
                                 QString::number(data.bytes()))} +
            data.describe()));
        data.writeArrays(out, o.out.name.toLatin1(), o.settings.attribute);
    } else {
        data.write(out);
        out.finish();
    }
    destination.commit(inputFiles());
    if (!o.out.quiet)
        note(QString::fromStdString(core::dataSizeMessage(data.bytes())));
    return 0;
}

} // namespace zentraq::cli
