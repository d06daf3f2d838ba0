// The data-text reader of "zentraq-cli preview": any bytes as the text of a
// data file. Besides the sanitizers, checks what reading may never give: more
// bytes than one per three characters (the shortest item is "0x5"), a
// problem on a line the text does not have, bytes besides a problem, or
// bytes that do not read back the same from the tool's own data text.
#include "datatext.h"

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
    using namespace zentraq::core;
    const QByteArray text =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const DataText read = readDataText(text);
    if (read.problem.kind != DataTextProblem::None) {
        if (!read.bytes.isEmpty() || read.problem.line < 1 ||
            read.problem.line > text.count('\n') + 1)
            __builtin_trap();
        return 0;
    }
    const DataText again = readDataText(dataText(read.bytes));
    if (read.bytes.size() * 3 > text.size() || again.problem.kind != DataTextProblem::None ||
        again.bytes != read.bytes)
        __builtin_trap();
    return 0;
}
