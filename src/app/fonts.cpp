#include "fonts.h"

#include <QFont>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QVariant>
#include <QWidget>

namespace zentraq {

void installSongFaceSubstitution() {
    const QString song = QStringLiteral("宋体");
    const QStringList families = QFontDatabase::families();
    if (families.contains(song))
        return;
    QStringList faces;
    for (const QString& f : {QStringLiteral("SimSun"), QStringLiteral("NSimSun"),
                             QStringLiteral("AR PL UMing CN"), QStringLiteral("AR PL UMing TW")}) {
        if (families.contains(f))
            faces << f;
    }
    if (!faces.isEmpty())
        QFont::insertSubstitutions(song, faces);
}

static void applyOne(QWidget* w) {
    const QVariant pts = w->property("fontPoints");
    if (pts.isValid()) {
        QFont f = w->font();
        f.setPointSizeF(pts.toDouble());
        w->setFont(f);
    }
}

void applyLayoutFontSizes(QWidget* root) {
    applyOne(root);
    const auto all = root->findChildren<QWidget*>();
    for (QWidget* w : all)
        applyOne(w);
}

void fitButtonCaptions(QWidget* root) {
    for (QPushButton* button : root->findChildren<QPushButton*>()) {
        QStyleOptionButton option;
        option.initFrom(button);
        if (button->autoDefault() || button->isDefault())
            option.features |= QStyleOptionButton::AutoDefaultButton;
        // The inside of the button, less a pixel on either side so that the
        // caption does not touch the edge.
        const QRect inside =
            button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
        const int room = inside.width() - 2;
        QFont font = button->font();
        auto width = [&](const QFont& f) {
            return QFontMetrics(f).size(Qt::TextShowMnemonic, button->text()).width();
        };
        const int needed = width(font);
        if (needed <= room || room <= 0)
            continue;
        // From the proportional estimate down in whole percent until it fits;
        // rounding in the face's metrics may want a step or two more.
        for (int stretch = 100 * room / needed; stretch >= QFont::UltraCondensed; --stretch) {
            font.setStretch(stretch);
            if (width(font) <= room)
                break;
        }
        button->setFont(font);
    }
}

} // namespace zentraq
