// Glyph data handlers of the main window: the six size buttons, the ASCII
// fill and the copy to the clipboard.
#include "mainwindow.h"
#include "ui_main.h"

namespace zentraq {

void main::sizeButton(qint16, qint16, bool) {}
void main::qumo(qint16, qint16) {}
void main::Command1_Click() { sizeButton(12, 12, true); }
void main::Command5_Click() { sizeButton(16, 16, true); }
void main::Command6_Click() { sizeButton(32, 32, true); }
void main::Command7_Click() { sizeButton(6, 12, false); }
void main::Command8_Click() { sizeButton(8, 16, false); }
void main::Command9_Click() { sizeButton(16, 32, false); }
void main::Command13_Click() {}
void main::Command10_Click() {}

} // namespace zentraq
