#pragma once

// One face of a font file, opened with FreeType in a library of its own, so
// that its settings (the TrueType interpreter version) and its glyph loads
// touch nothing else. Nothing is read from the environment: the same file
// gives the same glyphs whatever FREETYPE_PROPERTIES says.
//
// Bitmap fonts (BDF, PCF, also gzip-compressed) are faces too: they have no
// outlines, only strikes of fixed pixel sizes. A BDF file is checked as text
// before FreeType reads it (bdfcheck.h).

#include "bdfcheck.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

struct FT_FaceRec_;
struct FT_LibraryRec_;

namespace zentraq::font {

// Which TrueType bytecode interpreter the face's own hinting runs in.
enum class Interpreter {
    Default,   // FreeType's default (v40)
    Version35, // the classic one, crisp at one bit a pixel
};

class FontFace {
public:
    // The face `index` of the font data `data` (a whole TTF, OTF, TTC, OTC,
    // BDF or PCF file; kept alive by the face). `label` names it in
    // messages. Throws FontError: Failure for data that is not a font or a
    // damaged BDF file, Request for an index past the collection's end.
    FontFace(QByteArray data, int index, QString label,
             Interpreter interpreter = Interpreter::Default);
    ~FontFace();
    FontFace(const FontFace&) = delete;
    FontFace& operator=(const FontFace&) = delete;

    FT_FaceRec_* ft() const { return m_face; }
    const QByteArray& data() const { return m_data; }
    int index() const { return m_index; }
    // Faces in the file (1 for a single font).
    int faceCount() const { return m_faceCount; }
    // "DejaVu Sans Book": family and style as the face names them.
    QString name() const;
    const QString& label() const { return m_label; }
    // The face's PostScript name, empty when it has none.
    QString postscriptName() const;
    int unitsPerEm() const;
    bool scalable() const;

    // The pixel sizes of the face's bitmap strikes, smallest first (a BDF
    // or PCF font has one; some outline fonts carry a few for small sizes).
    std::vector<int> strikes() const;
    // The strike of exactly `pixels` pixels, -1 when there is none.
    int strikeIndex(int pixels) const;
    // "a strike of 16 px" or "strikes of 12, 14 and 16 px", for messages.
    QString strikeList() const;
    // What a BDF file said about itself; nullptr for other faces.
    const BdfHeader* bdfHeader() const { return m_bdf ? &*m_bdf : nullptr; }

    // The glyph index of `cp`, 0 when the face has none.
    unsigned glyphIndex(char32_t cp) const;

private:
    QByteArray m_data;
    int m_index;
    QString m_label;
    int m_faceCount = 0;
    std::optional<BdfHeader> m_bdf;
    FT_LibraryRec_* m_library = nullptr;
    FT_FaceRec_* m_face = nullptr;
};

} // namespace zentraq::font
