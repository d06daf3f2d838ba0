#pragma once

class QWidget;

namespace zentraq {

// Makes the family "宋体" of the window's fonts resolve to a real Song-style
// face: SimSun when it is installed, else AR PL UMing. Call once, after the
// application object exists and before the window is created.
void installSongFaceSubstitution();

// Applies the fractional point sizes (7.5, 10.5) that the layout file keeps
// in the "fontPoints" property, to `root` and all widgets below it.
void applyLayoutFontSizes(QWidget* root);

} // namespace zentraq
