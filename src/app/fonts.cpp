#include "fonts.h"

#include <QFont>
#include <QFontDatabase>
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

} // namespace zentraq
