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

// Narrows the face of every push button under `root` whose caption is wider
// than the inside of the button, just enough for the caption to fit on one
// line there; the other buttons keep their face as it is. At 9 points
// "填冲95个ASCII字符" is 102 pixels wide (Chinese characters 12 pixels, Latin
// letters and digits 6, in SimSun as in AR PL UMing), and its button 97.
// Call after the font sizes are applied.
void fitButtonCaptions(QWidget* root);

} // namespace zentraq
