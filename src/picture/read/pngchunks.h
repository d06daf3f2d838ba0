#pragma once

// The chunks of a PNG file walked from their headers alone, before any
// decoder sees the file: a chunk whose length field claims more bytes than
// follow it is found here, where the decoder would first allocate (and
// clear) all it claims. Plain C++: the quick picture path runs it before
// libpng, the picture loader before Qt's readers.

#include <functional>
#include <optional>

namespace zentraq::rgbqumo {

// A chunk that claims more than its file holds.
struct PngChunkClaim {
    char type[4] = {};     // as written, letters or not
    long long claimed = 0; // its length field
    long long left = 0;    // the bytes after its header, less the checksum's 4
};

// Reads n bytes at offset into out; false when they are not all there.
using ReadAt = std::function<bool(long long offset, void* out, long long n)>;

// The PNG whose signature starts at `start` and whose bytes end at `end`:
// its chunks from the one after the signature up to IEND. Returns the first
// chunk that claims more than is left; nothing when every chunk fits, or the
// walk meets the end of the bytes between two chunks (a decoder says itself
// that the file is cut short).
std::optional<PngChunkClaim> pngChunkOverclaim(const ReadAt& read, long long start, long long end);

} // namespace zentraq::rgbqumo
