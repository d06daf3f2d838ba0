#include "quick_picture.h"

#include "datafiletext.h"
#include "optiondef.h"
#include "output.h"
#include "pipeline.h"
#include "pngrows.h"
#include "streams.h"

#include <cstring>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
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

// The options the quick path takes: the picture command's own, as their
// table declares them.
constexpr OptionDef Taken[] = {option::Output, option::Quiet, option::Depfile,
                               option::KeepUnchanged};

// The command line read as the tool reads it, for readArguments; anything
// the tool would refuse, or another option, stops the reading.
struct Reading {
    using View = std::string_view;
    QuickOptions& o;
    int pictures = 0;
    bool positional(View a) {
        // One picture; a second argument, even an empty one, is the tool's
        // to refuse.
        if (pictures++ > 0)
            return false;
        o.picture = std::string(a);
        return true;
    }
    bool option(const OptionDef& d, View value) {
        if (d.names == option::Output.names)
            o.output = std::string(value);
        else if (d.names == option::Depfile.names)
            o.depfile = std::string(value);
        else if (d.names == option::Quiet.names)
            o.quiet = true;
        else
            o.keepUnchanged = true;
        return true;
    }
    bool unknown(View, bool) { return false; }
    bool needsValue(const OptionDef&) { return false; }
    bool takesNoValue(const OptionDef&) { return false; }
    bool givenTwice(const OptionDef&) { return false; }
    bool emptyValue(const OptionDef&) { return false; }
};

// The options, when they are all the quick path knows.
bool parse(int argc, char** argv, QuickOptions& o) {
    const std::vector<std::string_view> args(argv + 2, argv + argc);
    Reading reading{o};
    if (!readArguments<char>(Taken, std::span<const std::string_view>(args), reading))
        return false;
    // Standard output and input are the tool's; so is a depfile that may
    // name the output file, which it refuses.
    return !o.output.empty() && o.output != "-" && o.depfile != "-" && endsWithPng(o.picture) &&
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
        // The window's temp.txt.
        core::DataFileText data(destination.sink(), rows->width(), rows->height());
        core::Pipeline& pipeline = data.pipeline();
        pipeline.frame(*rows);
        data.text().finish();
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
