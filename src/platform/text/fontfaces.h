#pragma once

// Installed faces as fontconfig lists them. A family is looked up exactly:
// fontconfig's listing of the faces installed under that name, never its
// closest match, which answers with some face for any name at all.

#include "textrenderer.h"

#include <QString>

#include <optional>

namespace zentraq::text {

// Whether fontconfig has read its configuration and its list of installed
// fonts; without that no installed face is found.
bool fontconfigReady();

// Which face of a family installedFace() answers with when the family lists
// several (regular, bold, italic, light, condensed ...).
enum class FacePreference {
    // Upright before slanted, then the weight nearest regular: the canvas face.
    UprightRegular,
    // Faces whose own (first) name is the family before faces that only list
    // it among their names (DejaVu Sans Light also lists "DejaVu Sans"), then
    // upright, weight nearest regular and width nearest normal: the face of a
    // family the user names.
    OwnNameFirst,
};

// The installed scalable face of exactly the family `family`, chosen by
// `preference`; the file path and then the face index settle ties, so the
// answer does not depend on the order of fontconfig's cache. The answer's
// family is `family` as given. Empty when fontconfig lists no such family
// (or is not ready).
std::optional<FaceChoice> installedFace(const QString& family, FacePreference preference);

} // namespace zentraq::text
