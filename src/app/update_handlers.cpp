// The start-up timer and the on-line version check.
#include "mainwindow.h"
#include "ui_main.h"

#include <QTimer>

namespace zentraq {

void main::Timer1_Timer() {}
void main::Banbenjian() {}

} // namespace zentraq
