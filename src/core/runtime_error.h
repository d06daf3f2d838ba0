#pragma once

// Plain C++: the conversions' bottom layer (packing, formatting) throws it
// too, and that layer is also built without Qt.

#include <exception>
#include <string>
#include <type_traits>
#include <utility>

namespace zentraq {

// A run-time failure that a routine reports to the user as its description
// (the picture routines put "出现错误" in front of it). The numbers follow the
// classic run-time error numbering so that callers and tests can tell the kinds
// apart without comparing texts.
class RuntimeError : public std::exception {
public:
    enum Code {
        Overflow = 6,
        OutOfMemory = 7,
        FileNotFound = 53,
        InputPastEndOfFile = 62,
        PermissionDenied = 70,
        PathFileAccessError = 75,
        InvalidPicture = 481,
        Other = 0,
    };

    // The description in UTF-8.
    RuntimeError(Code code, std::string description)
        : m_code(code), m_description(std::move(description)) {}
    RuntimeError(Code code, const char* description)
        : RuntimeError(code, std::string(description)) {}
    // The same from a text type of the caller's that gives its UTF-8 bytes
    // (QString): the layers above write their descriptions that way.
    template <class Text, class = decltype(std::declval<const Text&>().toUtf8().constData())>
    RuntimeError(Code code, const Text& description)
        : RuntimeError(code, std::string(description.toUtf8().constData())) {}

    Code code() const noexcept { return m_code; }
    // The description, UTF-8.
    const char* what() const noexcept override { return m_description.c_str(); }

    // No memory for what a routine had to make. Its description is the
    // window's; each front end words this failure from its code alone, so
    // no routine's own wording of it reaches the user.
    static RuntimeError outOfMemory() { return RuntimeError(OutOfMemory, "内存不足"); }

    // The arithmetic overflow failure of range-checked integer and byte stores.
    static RuntimeError overflow() { return RuntimeError(Overflow, "溢出"); }
    static RuntimeError overflow(const std::string& detail) {
        return RuntimeError(Overflow, detail.empty() ? std::string("溢出") : "溢出：" + detail);
    }
    template <class Text, class = decltype(std::declval<const Text&>().toUtf8().constData())>
    static RuntimeError overflow(const Text& detail) {
        return overflow(std::string(detail.toUtf8().constData()));
    }

private:
    Code m_code;
    std::string m_description;
};

} // namespace zentraq
