#pragma once

// The window's words for a failure the conversions report: the one place
// where the window turns a failure's code or problem into words. Out of
// memory is said the same way wherever it happened, whatever the routine
// that ran out called it; a metafile's problem is worded here from its
// values.

#include <QString>

#include <exception>

namespace zentraq {

QString problemText(const std::exception& e);

} // namespace zentraq
