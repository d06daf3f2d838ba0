#pragma once

#include "services.h"

#include <QString>

namespace zentraq {

// The window's file-open dialog component. It remembers its file name from
// one opening to the next; cancelling leaves the name as it was.
class CommonDialog {
public:
    explicit CommonDialog(platform::FileOpenDialog& dialog) : m_dialog(dialog) {}

    // Shows the dialog and waits until it is closed.
    void ShowOpen() {
        if (auto chosen = m_dialog.open(FileName))
            FileName = *chosen;
    }

    QString FileName;
    int MaxFileSize = 260;

private:
    platform::FileOpenDialog& m_dialog;
};

} // namespace zentraq
