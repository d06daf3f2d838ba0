#pragma once

// The command lines and window actions whose every output the identity table
// records: each command of the tool in its formats, pixel formats, layouts
// and fittings, over the pictures, fonts and data the other suites use and
// the fuzz seeds, and the window's glyph text and temp.txt.
//
// Inputs lie in the folder "in" beside the folder each command runs in, and
// are named relative to it ("../in/partial.png"), so that what a C comment
// records of a name is the same on every machine. Faces are Debian's, named
// by their installed paths or families (a private font configuration lists
// only them).

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <vector>

namespace zentraq::identity {

enum class Kind {
    Tool,          // zentraq-cli with `args`
    WindowGlyph,   // the window: Text1 = text, then the size button `button`
    WindowPicture, // the window: 导入图片 `picture`, then 生成取模数据
};

struct Case {
    Kind kind = Kind::Tool;
    QList<QByteArray> args; // Tool: the arguments after the program's name
    QStringList setup;      // Tool: names of "in" copied into the folder it runs in
    QByteArray input;       // Tool: standard input
    QString text;           // WindowGlyph
    QString button;         // WindowGlyph: Command1, Command5, ...
    QString picture;        // WindowPicture: a name in "in"
};

// The faces the corpus renders with; the test skips without them.
inline const char* const DejaVuSans = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
inline const char* const DejaVuSerif = "/usr/share/fonts/truetype/dejavu/DejaVuSerif.ttf";
inline const char* const UMing = "/usr/share/fonts/truetype/arphic/uming.ttc";
inline const char* const SungtiL = "/usr/share/fonts/truetype/arphic-gbsn00lp/gbsn00lp.ttf";

// The folders of those faces, for the private font configuration.
inline QStringList faceFolders() {
    return {QStringLiteral("/usr/share/fonts/truetype/dejavu"),
            QStringLiteral("/usr/share/fonts/truetype/arphic"),
            QStringLiteral("/usr/share/fonts/truetype/arphic-gbsn00lp")};
}

// The pictures of "in" (generated ones and copied seeds) that the tool and
// the window read; `metafiles` too.
struct Inputs {
    QStringList pictures;  // raster pictures
    QStringList metafiles; // WMF, EMF
    QStringList lvglImages;
    QStringList dataTexts;
    // The seeds of the command-line fuzzer: name and arguments.
    QList<QPair<QString, QList<QByteArray>>> optionSeeds;
};

// The files the command-line seeds name, copied from "in" into the folder
// each of them runs in.
inline QStringList seedFiles() {
    return {QStringLiteral("f.ttf"), QStringLiteral("menu.txt"), QStringLiteral("logo.png"),
            QStringLiteral("splash.jpg"), QStringLiteral("font8x16.h")};
}

// Every case, keyed by the line the table names it with.
struct Keyed {
    QString key;
    Case c;
};
std::vector<Keyed> corpus(const Inputs& inputs);

// How the table names a case: the arguments, quoted as a shell would take
// them, bytes that are not UTF-8 and control characters as \xHH.
QString keyOf(const Case& c);

} // namespace zentraq::identity
