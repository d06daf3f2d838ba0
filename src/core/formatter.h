#pragma once

// The last stage of a conversion: packed bytes as data text, as a C array or
// as the bytes themselves, streamed to a sink in large blocks.
//
// Data text is a row of items, each byte as "0x" and two upper-case
// hexadecimal digits followed by ",", with nothing between items; lines end
// in CR LF. Where lines end is the line policy: after every N bytes counted
// over the whole stream (the picture data: 8 pixels, 16 bytes), or at the end
// of every frame (the glyph data: one line per character).

#include "carray.h"
#include "packer.h"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

namespace zentraq::core {

enum class DataForm { Text, C, Binary };

struct LinePolicy {
    int bytesPerLine = 0;       // > 0: CR LF after every this many bytes
    bool lineEachFrame = false; // CR LF at the end of every frame
};

class Formatter {
public:
    // Everything is kept in a block of `blockSize` bytes and handed to the
    // sink whenever the block is full, at flush() and finish(), and when the
    // formatter goes away other than by an exception.
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
    DataForm m_form;
    LinePolicy m_lines;
    TextBlock m_block;
    ArrayWriter m_items;
    long long m_count = 0;
};

} // namespace zentraq::core
