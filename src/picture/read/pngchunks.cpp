#include "pngchunks.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace zentraq::rgbqumo {

std::optional<PngChunkClaim> pngChunkOverclaim(const ReadAt& read, long long start, long long end) {
    for (long long at = start + 8;;) {
        unsigned char header[8];
        if (end - at < 8 || !read(at, header, 8))
            return std::nullopt;
        const long long length = (std::uint32_t(header[0]) << 24) |
                                 (std::uint32_t(header[1]) << 16) |
                                 (std::uint32_t(header[2]) << 8) | std::uint32_t(header[3]);
        const long long left = end - at - 8; // the data and the checksum
        if (length + 4 > left) {
            PngChunkClaim claim;
            std::memcpy(claim.type, header + 4, 4);
            claim.claimed = length;
            claim.left = std::max(left - 4, 0LL);
            return claim;
        }
        at += 12 + length;
        if (std::memcmp(header + 4, "IEND", 4) == 0)
            return std::nullopt;
    }
}

} // namespace zentraq::rgbqumo
