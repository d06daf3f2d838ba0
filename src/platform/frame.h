#pragma once

#include <QGroupBox>

namespace zentraq {

// A frame as the desktop the layout was drawn for shows one: an etched
// rectangle whose top line runs through the middle of the caption, with the
// caption set in from the left edge and the line broken around it. Child
// controls keep the places the layout gives them, measured from the frame's
// top-left corner, so a child at y = 16 lies below the line. The frame only
// groups its children; it cannot be checked.
class Frame : public QGroupBox {
    Q_OBJECT

public:
    explicit Frame(QWidget* parent = nullptr) : QGroupBox(parent) {}

    // Where the caption is drawn, the gap in the top line included.
    QRect captionRect() const;

protected:
    void paintEvent(QPaintEvent* e) override;
};

} // namespace zentraq
