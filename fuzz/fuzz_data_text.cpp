// The data-text reader of "zentraq-cli preview": any bytes as the text of a
// data file. Besides the sanitizers, checks what reading may never give: more
// bytes than one per three characters (the shortest item is "0x5"), a
// failure other than a message about a line the text has, or bytes that do
// not read back the same from the tool's own data text.
#include "datatext.h"
#include "options.h"

#include <cstddef>
#include <cstdint>

namespace {

// The bytes as the tool writes them: "0xHH," items.
QByteArray dataText(const QByteArray& bytes) {
    QByteArray text;
    for (const char b : bytes)
        text += "0x" + QByteArray::number(static_cast<unsigned char>(b), 16).toUpper() + ',';
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using zentraq::cli::CliError;
    using zentraq::cli::parseDataText;
    const QByteArray text =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    try {
        const QByteArray bytes = parseDataText(text, QStringLiteral("data"));
        if (bytes.size() * 3 > text.size() ||
            parseDataText(dataText(bytes), QStringLiteral("again")) != bytes)
            __builtin_trap();
    } catch (const CliError& e) {
        // "data, line N: ..." with N a line of the text.
        const QString prefix = QStringLiteral("data, line ");
        if (e.exitCode() != 1 || !e.message().startsWith(prefix))
            __builtin_trap();
        const qsizetype colon = e.message().indexOf(u':');
        bool number = false;
        const long long line =
            e.message().mid(prefix.size(), colon - prefix.size()).toLongLong(&number);
        if (!number || line < 1 || line > text.count('\n') + 1)
            __builtin_trap();
    }
    return 0;
}
