#include "writer.h"

namespace zentraq::core {

QString listed(const QStringList& items, const QString& lastJoin) {
    if (items.size() < 2)
        return items.join(QString());
    return items.mid(0, items.size() - 1).join(QStringLiteral(", ")) + lastJoin + items.back();
}

} // namespace zentraq::core
