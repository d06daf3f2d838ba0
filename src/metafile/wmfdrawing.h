#pragma once

#include "metafileformat.h"

#include <QImage>

#include <optional>

namespace zentraq::metafile {

// Plays the WMF `data` (checked by inspect(), which gave `layout`) with
// libwmf's player and draws what it reports onto `picture`, the window
// mapped onto the whole picture, without anti-aliasing. The picture keeps
// what it held where nothing is drawn. Returns what went wrong, if anything.
std::optional<Problem> drawWmf(const QByteArray& data, const Layout& layout, QImage& picture);

} // namespace zentraq::metafile
