// zentraq-metafile: draws the metafile on standard input for the picture
// loader of zentraq and zentraq-cli, which run it as a process of its own
// with limits on time, memory and output.
//
//   zentraq-metafile [--max-pixels N] < picture.wmf > result
//
// The result on standard output is one line and, after a success, the
// pixels:
//
//   ZMF 1 W H w h      W and H the size at 96 dots per inch as single-
//                      precision numbers, w and h the whole pixels drawn;
//                      then w*h*4 bytes, rows from the top, 0xAARRGGBB
//                      words in the machine's byte order
//   ERR invalid P      not a metafile, damaged, or no size; P says what
//                      (see encodeProblem in metafileformat.h)
//   ERR large w h      more than N pixels
//   ERR memory         no memory for the picture
//
// Exit status 0 after a success, 1 after a failure, 2 for a wrong call.
#include "convert.h"

#include <QGuiApplication>

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Standard input is never larger than this.
constexpr qint64 MaxInputBytes = qint64(256) << 20;

bool writeAll(int fd, const char* data, qint64 size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size_t(std::min<qint64>(size, 1 << 20)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= n;
    }
    return true;
}

bool readInput(QByteArray& data) {
    struct stat st {};
    if (::fstat(0, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= MaxInputBytes)
        data.reserve(qsizetype(st.st_size));
    char buffer[1 << 16];
    for (;;) {
        const ssize_t n = ::read(0, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        if (data.size() + n > MaxInputBytes)
            return false;
        data.append(buffer, n);
    }
}

int fail(int out, const QByteArray& line) {
    QByteArray text = line;
    text.replace('\n', ' ');
    writeAll(out, text.constData(), text.size());
    writeAll(out, "\n", 1);
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    // The result goes to the standard output as it was given; whatever the
    // libraries print goes to the error output instead.
    const int out = ::dup(1);
    if (out < 0 || ::dup2(2, 1) < 0)
        return 2;

    qint64 maxPixels = qint64(64) << 20;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--max-pixels") == 0 && i + 1 < argc) {
            char* end = nullptr;
            maxPixels = std::strtoll(argv[++i], &end, 10);
            if (!end || *end || maxPixels <= 0)
                return 2;
        } else {
            std::fprintf(stderr, "usage: %s [--max-pixels N] < metafile > result\n", argv[0]);
            return 2;
        }
    }

    try {
        QByteArray data;
        using zentraq::metafile::Problem;
        if (!readInput(data))
            return fail(out, "ERR invalid " + zentraq::metafile::encodeProblem(
                                                  Problem(Problem::Kind::InputUnreadable)));

        using zentraq::metafile::Failure;
        auto failed = [out](const Failure& f) {
            switch (f.kind) {
            case Failure::TooLarge:
                return fail(out, "ERR large " + QByteArray::number(f.width) + ' ' +
                                     QByteArray::number(f.height));
            case Failure::Memory:
                return fail(out, "ERR memory");
            default:
                return fail(out, "ERR invalid " + zentraq::metafile::encodeProblem(f.problem));
            }
        };

        // The records are read, and an EMF is turned into SVG, before Qt's
        // GUI side starts: the EMF converter shuts fontconfig down after it
        // looked a font up.
        const auto prepared = zentraq::metafile::prepare(data, maxPixels);
        if (const auto* f = std::get_if<Failure>(&prepared))
            return failed(*f);
        const auto& p = std::get<zentraq::metafile::Prepared>(prepared);

        // Fonts need the GUI side of Qt; no window is ever shown.
        qputenv("QT_QPA_PLATFORM", "offscreen");
        int qtArgc = 1;
        char* qtArgv[] = {argv[0], nullptr};
        QGuiApplication app(qtArgc, qtArgv);
        // Qt took the locale from the environment; numbers are read and
        // written with a point.
        std::setlocale(LC_NUMERIC, "C");

        const auto drawn = zentraq::metafile::draw(data, p);
        if (const auto* f = std::get_if<Failure>(&drawn))
            return failed(*f);
        const QImage& picture = std::get<QImage>(drawn);
        const QByteArray header = "ZMF 1 " + QByteArray::number(double(p.layout.width), 'g', 9) +
                                  ' ' + QByteArray::number(double(p.layout.height), 'g', 9) + ' ' +
                                  QByteArray::number(picture.width()) + ' ' +
                                  QByteArray::number(picture.height()) + '\n';
        if (!writeAll(out, header.constData(), header.size()))
            return 1;
        for (int y = 0; y < picture.height(); ++y)
            if (!writeAll(out, reinterpret_cast<const char*>(picture.constScanLine(y)),
                          qint64(picture.width()) * 4))
                return 1;
        return 0;
    } catch (const std::bad_alloc&) {
        return fail(out, "ERR memory");
    }
}
