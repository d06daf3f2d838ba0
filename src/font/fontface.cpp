#include "fontface.h"

#include "fonterror.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_DRIVER_H
#include FT_MODULE_H

#include <QStringList>

#include <algorithm>
#include <cstdlib>

namespace zentraq::font {
namespace {

// FreeType's allocator for libraries made by hand.
void* ftAlloc(FT_Memory, long size) {
    return std::malloc(std::size_t(size));
}
void ftFree(FT_Memory, void* block) {
    std::free(block);
}
void* ftRealloc(FT_Memory, long, long size, void* block) {
    return std::realloc(block, std::size_t(size));
}
FT_MemoryRec_ heap = {nullptr, ftAlloc, ftFree, ftRealloc};

} // namespace

FontFace::FontFace(QByteArray data, int index, QString label, Interpreter interpreter)
    : m_data(std::move(data)), m_index(index), m_label(std::move(label)) {
    if (isBdf(m_data))
        m_bdf = checkBdf(m_data, m_label);
    // FT_Init_FreeType would also apply FREETYPE_PROPERTIES from the
    // environment; a library made by hand has only the built-in defaults.
    if (FT_New_Library(&heap, &m_library) != 0)
        fontFailure(QStringLiteral("FreeType could not be started"));
    FT_Add_Default_Modules(m_library);
    if (interpreter == Interpreter::Version35) {
        FT_UInt version = TT_INTERPRETER_VERSION_35;
        FT_Property_Set(m_library, "truetype", "interpreter-version", &version);
    }

    const auto* bytes = reinterpret_cast<const FT_Byte*>(m_data.constData());
    const auto size = static_cast<FT_Long>(m_data.size());
    FT_Face probe = nullptr;
    if (m_data.isEmpty() || FT_New_Memory_Face(m_library, bytes, size, -1, &probe) != 0) {
        FT_Done_Library(m_library);
        m_library = nullptr;
        fontFailure(QStringLiteral("'%1' is not a font FreeType can read").arg(m_label));
    }
    m_faceCount = static_cast<int>(probe->num_faces);
    FT_Done_Face(probe);
    if (index < 0 || index >= m_faceCount) {
        FT_Done_Library(m_library);
        m_library = nullptr;
        requestError(m_faceCount == 1
                         ? QStringLiteral("'%1' holds one face; face index %2 is past its end")
                               .arg(m_label)
                               .arg(index)
                         : QStringLiteral("'%1' holds %2 faces (0 to %3); face index %4 is past "
                                          "its end")
                               .arg(m_label)
                               .arg(m_faceCount)
                               .arg(m_faceCount - 1)
                               .arg(index));
    }
    if (FT_New_Memory_Face(m_library, bytes, size, index, &m_face) != 0) {
        FT_Done_Library(m_library);
        m_library = nullptr;
        fontFailure(QStringLiteral("face %1 of '%2' is not a font FreeType can read")
                        .arg(index)
                        .arg(m_label));
    }
}

FontFace::~FontFace() {
    if (m_library)
        FT_Done_Library(m_library); // also closes the face
}

QString FontFace::name() const {
    const QString family = QString::fromUtf8(m_face->family_name ? m_face->family_name : "");
    const QString style = QString::fromUtf8(m_face->style_name ? m_face->style_name : "");
    if (family.isEmpty())
        return m_label;
    return style.isEmpty() ? family : family + u' ' + style;
}

QString FontFace::postscriptName() const {
    const char* name = FT_Get_Postscript_Name(m_face);
    return name ? QString::fromUtf8(name) : QString();
}

int FontFace::unitsPerEm() const {
    return m_face->units_per_EM;
}

bool FontFace::scalable() const {
    return FT_IS_SCALABLE(m_face);
}

namespace {

// A strike's size in whole pixels: its ppem when the font gives one, else
// its height.
int strikePixels(const FT_Bitmap_Size& s) {
    return s.y_ppem != 0 ? int((s.y_ppem + 32) >> 6) : s.height;
}

} // namespace

std::vector<int> FontFace::strikes() const {
    std::vector<int> sizes;
    for (int i = 0; i < m_face->num_fixed_sizes; ++i)
        sizes.push_back(strikePixels(m_face->available_sizes[i]));
    std::sort(sizes.begin(), sizes.end());
    sizes.erase(std::unique(sizes.begin(), sizes.end()), sizes.end());
    return sizes;
}

int FontFace::strikeIndex(int pixels) const {
    for (int i = 0; i < m_face->num_fixed_sizes; ++i) {
        if (strikePixels(m_face->available_sizes[i]) == pixels)
            return i;
    }
    return -1;
}

QString FontFace::strikeList() const {
    const std::vector<int> sizes = strikes();
    if (sizes.empty())
        return QStringLiteral("no strike");
    QStringList shown;
    for (const int s : sizes)
        shown << QString::number(s);
    if (shown.size() == 1)
        return QStringLiteral("a strike of %1 px").arg(shown.front());
    const QString last = shown.takeLast();
    return QStringLiteral("strikes of %1 and %2 px").arg(shown.join(QStringLiteral(", ")), last);
}

unsigned FontFace::glyphIndex(char32_t cp) const {
    return FT_Get_Char_Index(m_face, cp);
}

} // namespace zentraq::font
