#include "problemtext.h"

#include "runtime_error.h"

#include <new>

namespace zentraq {

QString problemText(const std::exception& e) {
    if (dynamic_cast<const std::bad_alloc*>(&e))
        return QStringLiteral("内存不足");
    if (const auto* runtime = dynamic_cast<const RuntimeError*>(&e)) {
        if (runtime->code() == RuntimeError::OutOfMemory)
            return QStringLiteral("内存不足");
        return QString::fromUtf8(runtime->what());
    }
    return QString::fromLocal8Bit(e.what());
}

} // namespace zentraq
