// Picture data handlers of the main window: import and conversion.
#include "mainwindow.h"
#include "ui_main.h"

namespace zentraq {

void main::Command11_Click() {}
void main::Command12_Click() {}
void main::ConvertPicture() {}

} // namespace zentraq
