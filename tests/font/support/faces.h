#pragma once

// The Debian faces the font tests are made with, found through fontconfig,
// and the characters of code ranges.

#include "charset.h"
#include "fontface.h"
#include "fontfaces.h"

#include <QFile>
#include <QString>

#include <memory>
#include <optional>

namespace zentraq::testing {

// The file of the installed family, empty when it is not installed.
inline QString faceFile(const QString& family) {
    const std::optional<text::FaceChoice> shape =
        text::installedFace(family, text::FacePreference::OwnNameFirst);
    return shape ? shape->file : QString();
}

inline QByteArray fileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline std::unique_ptr<font::FontFace>
openFace(const QString& family, font::Interpreter interpreter = font::Interpreter::Default) {
    const QString file = faceFile(family);
    if (file.isEmpty())
        return nullptr;
    return std::make_unique<font::FontFace>(fileBytes(file), 0, file, interpreter);
}

// The characters of `ranges`, in code order, each once.
inline std::vector<char32_t> codesIn(std::initializer_list<std::pair<char32_t, char32_t>> ranges) {
    font::CharacterSet set;
    for (const auto& [first, last] : ranges)
        set.addRange({first, last});
    return set.characters();
}

} // namespace zentraq::testing

// Skips the test when the family is not installed.
#define REQUIRE_FACE(var, family, ...)                                                             \
    const std::unique_ptr<zentraq::font::FontFace> var =                                           \
        zentraq::testing::openFace(QStringLiteral(family) __VA_OPT__(, ) __VA_ARGS__);             \
    if (!var)                                                                                      \
        QSKIP(family " is not installed (scripts/install-deps.sh installs it)");
