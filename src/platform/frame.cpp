#include "frame.h"

#include <QPainter>
#include <QStyle>
#include <qdrawutil.h>

namespace zentraq {
namespace {

constexpr int CaptionIndent = 8; // from the frame's left edge to the gap
constexpr int CaptionGap = 2;    // free line on either side of the text

} // namespace

QRect Frame::captionRect() const {
    if (title().isEmpty())
        return {};
    const QFontMetrics metrics(font());
    const int text = metrics.size(Qt::TextShowMnemonic, title()).width();
    return QRect(CaptionIndent, 0, text + 2 * CaptionGap, metrics.height());
}

void Frame::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect caption = captionRect();
    // The line runs through the middle of the caption's line of text; with no
    // caption the rectangle starts at the top.
    const int top = caption.isEmpty() ? 0 : caption.height() / 2;
    p.save();
    if (!caption.isEmpty())
        p.setClipRegion(QRegion(rect()) - caption);
    // Sunken, one pixel: a shadow line with a highlight inside and below it.
    qDrawShadeRect(&p, 0, top, width(), height() - top, palette(), true, 1, 0);
    p.restore();
    style()->drawItemText(&p, caption, Qt::AlignCenter | Qt::TextShowMnemonic, palette(),
                          isEnabled(), title(), QPalette::WindowText);
}

} // namespace zentraq
