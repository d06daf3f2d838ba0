#pragma once

// The tool's failures: one line on standard error and an exit code. Plain
// C++: the result files are written without Qt too.

#include <exception>
#include <string>
#include <string_view>
#include <utility>

namespace zentraq::cli {

// The bytes of text read as the tool reads its arguments (see
// argumentText()): UTF-8, with each code unit U+DC80..U+DCFF, which stands
// for a byte of a name that is not UTF-8, that byte again. A surrogate
// without its partner becomes '?'.
std::string textBytes(std::u16string_view text);

// A failure that ends the tool with one line on standard error: exit code 2
// for a command line that cannot be carried out as written, 1 for anything
// that went wrong while carrying it out. The message is bytes: a name in it
// is the name as the system takes it, and the line on standard error shows
// each byte of it that is not UTF-8 as \xHH.
class CliError : public std::exception {
public:
    enum Kind { Usage = 2, Failure = 1 };
    CliError(Kind kind, std::string message) : m_kind(kind), m_message(std::move(message)) {}
    // A message held as UTF-16 text (QString), with the names in it as
    // argumentText() reads them.
    template <class Text, class = decltype(std::declval<const Text&>().toStdU16String())>
    CliError(Kind kind, const Text& message)
        : CliError(kind, textBytes(message.toStdU16String())) {}
    Kind kind() const noexcept { return m_kind; }
    int exitCode() const noexcept { return m_kind; }
    const std::string& message() const noexcept { return m_message; }
    const char* what() const noexcept override { return m_message.c_str(); }

private:
    Kind m_kind;
    std::string m_message;
};

[[noreturn]] inline void usageError(std::string message) {
    throw CliError(CliError::Usage, std::move(message));
}
[[noreturn]] inline void failure(std::string message) {
    throw CliError(CliError::Failure, std::move(message));
}
template <class Text, class = decltype(std::declval<const Text&>().toStdU16String())>
[[noreturn]] void usageError(const Text& message) {
    throw CliError(CliError::Usage, message);
}
template <class Text, class = decltype(std::declval<const Text&>().toStdU16String())>
[[noreturn]] void failure(const Text& message) {
    throw CliError(CliError::Failure, message);
}

} // namespace zentraq::cli
