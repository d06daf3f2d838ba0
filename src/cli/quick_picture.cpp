#include "quick_picture.h"

#include "formatter.h"
#include "output.h"
#include "pipeline.h"
#include "pngrows.h"
#include "rgb565.h"
#include "streams.h"

#include <cstring>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace zentraq::cli {
namespace {

struct QuickOptions {
    std::string picture;
    std::string output;
    std::string depfile;
    bool quiet = false;
    bool keepUnchanged = false;
};

// The part of a name after its last '/'.
std::string_view lastPart(std::string_view name) {
    const std::size_t slash = name.rfind('/');
    return slash == std::string_view::npos ? name : name.substr(slash + 1);
}

bool endsWithPng(std::string_view name) {
    if (name.size() < 4)
        return false;
    std::string suffix(name.substr(name.size() - 4));
    for (char& c : suffix)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return suffix == ".png";
}

// An option's value into `into`: given once, and only a value the tool's own
// reading certainly reads the same (not empty, no option, not standard
// output).
bool take(std::string& into, const char* value) {
    if (!into.empty() || !value || value[0] == '\0' || value[0] == '-')
        return false;
    into = value;
    return true;
}

// The options, when they are all the quick path knows, each given once.
bool parse(int argc, char** argv, QuickOptions& o) {
    for (int i = 2; i < argc; ++i) {
        const std::string_view a = argv[i];
        const char* next = i + 1 < argc ? argv[i + 1] : nullptr;
        bool ok = true;
        if (a == "-q" || a == "--quiet") {
            ok = !std::exchange(o.quiet, true);
        } else if (a == "--keep-unchanged") {
            ok = !std::exchange(o.keepUnchanged, true);
        } else if (a == "-o" || a == "--output") {
            ok = take(o.output, next);
            ++i;
        } else if (a.starts_with("--output=")) {
            ok = take(o.output, argv[i] + 9);
        } else if (a == "--depfile") {
            ok = take(o.depfile, next);
            ++i;
        } else if (a.starts_with("--depfile=")) {
            ok = take(o.depfile, argv[i] + 10);
        } else if (!a.empty() && a[0] != '-' && o.picture.empty()) {
            o.picture = std::string(a);
        } else {
            ok = false;
        }
        if (!ok)
            return false;
    }
    // A depfile that may name the output file is the tool's to refuse.
    return !o.output.empty() && endsWithPng(o.picture) &&
           !(!o.depfile.empty() && lastPart(o.depfile) == lastPart(o.output));
}

// The picture's pixels, or nullptr.
std::unique_ptr<rgbqumo::PngRows> readPng(const std::string& name) {
    const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return nullptr;
    struct stat st {};
    std::unique_ptr<rgbqumo::PngRows> rows;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
        rows = rgbqumo::PngRows::read(fd);
    ::close(fd);
    return rows;
}

} // namespace

int quickPicture(int argc, char** argv) {
    try {
        QuickOptions o;
        if (argc < 3 || std::strcmp(argv[1], "picture") != 0 || !parse(argc, argv, o))
            return -1;
        // As the tool does first: no file it opens takes a standard stream's
        // number.
        openMissingStandardStreams();
        const std::unique_ptr<rgbqumo::PngRows> rows = readPng(o.picture);
        if (!rows)
            return -1;
        installInterruptCleanup();
        ResultFiles files;
        files.depfile = o.depfile;
        files.keepUnchanged = o.keepUnchanged;
        Destination destination(o.output, false, files);
        // The window's temp.txt: RGB565 words, low byte first.
        core::Formatter out(destination.sink(), core::DataForm::Text,
                            core::LinePolicy{core::pictureBytesPerLine(16), false});
        rgbqumo::Rgb565Words encoder;
        core::Pipeline pipeline(encoder, core::Layout{}, rows->width(), rows->height(), &out);
        pipeline.frame(*rows);
        out.finish();
        destination.commit({o.picture});
        if (!o.quiet) {
            const std::string line =
                core::dataSizeMessage(pipeline.packer().bytesPerFrame()) + "\n";
            writeFully(messageDescriptor(), line.data(), static_cast<long long>(line.size()));
        }
        return 0;
    } catch (...) {
        // Nothing is in place yet that the tool would not make again: it
        // does the work and says what went wrong.
        return -1;
    }
}

} // namespace zentraq::cli
