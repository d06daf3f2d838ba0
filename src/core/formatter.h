#pragma once

// The last stage of a conversion: packed bytes as data text, as a C array or
// as the bytes themselves, streamed to a sink in large blocks.
//
// Data text is a row of items, each byte as "0x" and two upper-case
// hexadecimal digits followed by ",", with nothing between items; lines end
// in CR LF. Where lines end is the line policy: after every N bytes counted
// over the whole stream (the picture data: 8 pixels, 16 bytes), or at the end
// of every frame (the glyph data: one line per character).

#include "packer.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

namespace zentraq::core {

// Where formatted bytes go. write() throws (RuntimeError, or the tool's own
// failure) when they cannot be written.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    virtual void write(const char* data, long long size) = 0;
};

// One byte as "0x" and two upper-case hexadecimal digits, NUL-terminated;
// eight characters may be read from the pointer.
const char* hexText(std::uint8_t value);

enum class DataForm { Text, C, Binary };

struct LinePolicy {
    int bytesPerLine = 0;       // > 0: CR LF after every this many bytes
    bool lineEachFrame = false; // CR LF at the end of every frame
};

class Formatter {
public:
    // Everything is kept in a block of `blockSize` bytes and handed to the
    // sink whenever the block is full and at flush() and finish().
    Formatter(ByteSink& sink, DataForm form, LinePolicy lines = {},
              std::ptrdiff_t blockSize = 1 << 20);
    Formatter(const Formatter&) = delete;
    Formatter& operator=(const Formatter&) = delete;

    DataForm form() const { return m_form; }

    // Text as it is (a C header comment, a declaration, a table): for the
    // text forms only; binary output ignores it.
    void text(std::string_view text);
    // The same for a byte array of the caller's (QByteArray, QByteArrayView).
    template <class Bytes, class = decltype(std::declval<const Bytes&>().constData())>
    void text(const Bytes& bytes) {
        text(std::string_view(bytes.constData(), std::size_t(bytes.size())));
    }

    // C: the array's declaration, "const unsigned char NAME[N] = {" and
    // CR LF, before its data; a non-empty `attribute` (PROGMEM, ...) goes
    // after "const".
    void beginArray(std::string_view name, long long size, std::string_view attribute = {});
    template <class Bytes, class = decltype(std::declval<const Bytes&>().constData())>
    void beginArray(const Bytes& name, long long size, const Bytes& attribute = {}) {
        beginArray(std::string_view(name.constData(), std::size_t(name.size())), size,
                   std::string_view(attribute.constData(), std::size_t(attribute.size())));
    }

    void bytes(const std::uint8_t* data, std::ptrdiff_t size);
    void bytes(const std::vector<std::uint8_t>& data) {
        bytes(data.data(), std::ptrdiff_t(data.size()));
    }

    // Whole-byte samples of `sampleBytes` (1, 2 or 3) bytes, each as its
    // bytes in `order`: exactly what bytes() makes of those bytes, but two
    // items at a time from a table of the item texts of all 65536 words.
    void samples(const std::uint32_t* samples, std::ptrdiff_t count, int sampleBytes,
                 ByteOrder order);

    // The end of a frame: with lineEachFrame the line ends here; in C it
    // first gets the comment " /* label */" when `label` is not empty (the
    // label must be comment-safe).
    void endFrame(std::string_view label = {});
    template <class Bytes, class = decltype(std::declval<const Bytes&>().constData())>
    void endFrame(const Bytes& label) {
        endFrame(std::string_view(label.constData(), std::size_t(label.size())));
    }

    // C: closes the array (after a CR LF when a line is open). Then hands
    // everything to the sink.
    void finish();
    // Hands everything formatted so far to the sink.
    void flush();

    // Data bytes formatted so far.
    long long byteCount() const { return m_count; }

private:
    char* reserve(std::ptrdiff_t n);
    void lineEnd();

    ByteSink& m_sink;
    DataForm m_form;
    LinePolicy m_lines;
    // Not cleared when made: its pages are only touched as text is put in,
    // so a small result does not pay for a large block.
    std::unique_ptr<char[]> m_block;
    std::ptrdiff_t m_blockSize = 0;
    std::ptrdiff_t m_used = 0;
    long long m_count = 0;
    long long m_onLine = 0; // bytes on the current line
};

} // namespace zentraq::core
