// Writes the seed metafiles of the fuzz target fuzz_metafile into a folder
// (fuzz/corpus/metafile/), or with --check compares that folder with what it
// would write, so that the committed seeds stay the ones made here.
//
//   make_metafile_seeds [--check] FOLDER
#include "metafilewriter.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QRegularExpression>

#include <cstdio>
#include <cstring>

using zentraq::testing::EmfWriter;
using zentraq::testing::WmfWriter;

namespace {

QMap<QString, QByteArray> seeds() {
    QMap<QString, QByteArray> out;
    for (const QString& kind : zentraq::testing::sceneKinds()) {
        QString name = kind;
        name.replace(QRegularExpression(QStringLiteral("[^a-z0-9]+")), QStringLiteral("-"));
        const QString ext =
            kind.startsWith(QLatin1String("emf")) ? QStringLiteral(".emf") : QStringLiteral(".wmf");
        out[QStringLiteral("scene-") + name + ext] = zentraq::testing::sceneMetafile(kind);
    }
    // Text given as glyph indexes, which the EMF converter looks up in a
    // font file of the system.
    EmfWriter glyphs;
    glyphs.select(glyphs.font(-20, QStringLiteral("DejaVu Sans")));
    glyphs.textOut(4, 30, QString(QChar(0x3D)) + QChar(0x48) + QChar(0x55), true);
    out[QStringLiteral("text-glyph-indexes.emf")] = glyphs.bytes(QRect(0, 0, 2540, 1270));
    // EMF+ records beside the EMF records that draw the same.
    EmfWriter plus;
    plus.emfPlusFill(QRectF(4, 4, 40, 20), qRgb(200, 30, 30));
    plus.select(plus.brush(qRgb(200, 30, 30)));
    plus.select(EmfWriter::NullPen);
    plus.rectangle(4, 4, 44, 24);
    plus.emfPlusEnd();
    out[QStringLiteral("emf-plus-dual.emf")] = plus.bytes(QRect(0, 0, 1270, 847));
    // The smallest useful WMF: a window and one rectangle.
    WmfWriter small;
    small.windowExt(16, 16);
    small.select(small.brush(qRgb(0, 0, 255)));
    small.rectangle(2, 2, 14, 14);
    out[QStringLiteral("plain-small.wmf")] = small.bytes();
    return out;
}

} // namespace

int main(int argc, char** argv) {
    const bool check = argc == 3 && std::strcmp(argv[1], "--check") == 0;
    if (argc != 2 && !check) {
        std::fprintf(stderr, "usage: %s [--check] FOLDER\n", argv[0]);
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[argc - 1]));
    const QMap<QString, QByteArray> all = seeds();
    int wrong = 0;
    for (auto it = all.cbegin(); it != all.cend(); ++it) {
        QFile f(folder.filePath(it.key()));
        if (check) {
            if (!f.open(QIODevice::ReadOnly) || f.readAll() != it.value()) {
                std::fprintf(stderr, "%s: not what %s writes\n", qPrintable(f.fileName()), argv[0]);
                ++wrong;
            }
        } else if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
                   f.write(it.value()) != it.value().size()) {
            std::fprintf(stderr, "%s: cannot write\n", qPrintable(f.fileName()));
            ++wrong;
        }
    }
    if (check && folder.entryList(QDir::Files).size() != all.size()) {
        std::fprintf(stderr, "%s: holds other files than the seeds\n", qPrintable(folder.path()));
        ++wrong;
    }
    return wrong == 0 ? 0 : 1;
}
