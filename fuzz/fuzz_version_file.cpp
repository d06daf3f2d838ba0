// The first field of a version file, read from whatever a server sends: any
// bytes up to the download limit. Besides the sanitizers, checks what the
// field may never be: longer than the file, holding a line end, or starting
// or ending with a space.
#include "first_field.h"
#include "runtime_error.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > static_cast<std::size_t>(zentraq::update::kMaxVersionFileBytes))
        return 0;
    try {
        const QString field = zentraq::update::firstField(
            QByteArrayView(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
        if (static_cast<std::size_t>(field.size()) > size || field.contains(QLatin1Char('\r')) ||
            field.contains(QLatin1Char('\n')) || field.startsWith(QLatin1Char(' ')) ||
            field.endsWith(QLatin1Char(' ')))
            __builtin_trap();
    } catch (const zentraq::RuntimeError&) {
        // An empty file, or a field that is not valid text: reported, fine.
    }
    return 0;
}
