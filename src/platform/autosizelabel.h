#pragma once

#include <QLabel>

namespace zentraq {

// A label that fits its caption on one line: each new caption resizes it, as
// "数据大小:19200字节" needs more room than "数据大小:0".
class AutoSizeLabel : public QLabel {
    Q_OBJECT
public:
    explicit AutoSizeLabel(QWidget* parent = nullptr) : QLabel(parent) {}

    // Hides QLabel::setText on purpose: callers holding an AutoSizeLabel get
    // the resize; the text itself is set exactly as QLabel sets it.
    void setText(const QString& text) {
        QLabel::setText(text);
        resize(sizeHint());
    }
};

} // namespace zentraq
