#include "process.h"

#include "error.h"
#include "utf8.h"

#include <QCoreApplication>
#include <QStringDecoder>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/common_interface_defs.h>
#define ZENTRAQ_SANITIZER_REPORTS 1
#endif

namespace zentraq::cli {
namespace {

bool g_runsOnce = false;

using core::utf8Length;

bool isKeptByte(char16_t u) {
    return u >= 0xDC80 && u <= 0xDCFF;
}

void dropMessage(QtMsgType, const QMessageLogContext&, const QString&) {}

void setSanitizerReports([[maybe_unused]] int fd) {
#if ZENTRAQ_SANITIZER_REPORTS
    __sanitizer_set_report_fd(reinterpret_cast<void*>(std::intptr_t(fd)));
#endif
}

} // namespace

QString errnoText(int error) {
    return QString::fromLocal8Bit(errnoString(error));
}

QString argumentText(const char* argument) {
    return argumentText(std::string_view(argument));
}

namespace {

// A run of valid UTF-8 as it stands: a byte order mark at its start (where
// the run follows a kept byte, or begins the argument) is a character of
// the name, which Qt's decoder would otherwise drop.
QString utf8Run(const char* bytes, qsizetype size) {
    QStringDecoder decode(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
    return decode(QByteArrayView(bytes, size));
}

} // namespace

QString argumentText(std::string_view bytes) {
    const char* argument = bytes.data();
    const auto* s = reinterpret_cast<const unsigned char*>(argument);
    const std::size_t n = bytes.size();
    QString text;
    text.reserve(qsizetype(n));
    std::size_t run = 0; // start of the UTF-8 run not yet added
    for (std::size_t i = 0; i < n;) {
        const int length = utf8Length(s + i, n - i);
        if (length > 0) {
            i += std::size_t(length);
            continue;
        }
        text += utf8Run(argument + run, qsizetype(i - run));
        text += QChar(char16_t(0xDC00 + s[i]));
        run = ++i;
    }
    return text + utf8Run(argument + run, qsizetype(n - run));
}

QByteArray nativeName(const QString& name) {
    const QStringView view(name);
    return QByteArray::fromStdString(
        textBytes(std::u16string_view(view.utf16(), std::size_t(view.size()))));
}

QString readable(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text[i].unicode();
        if (QChar::isHighSurrogate(u) && i + 1 < text.size() &&
            QChar::isLowSurrogate(text[i + 1].unicode())) {
            out += text[i];
            out += text[++i];
        } else if (isKeptByte(u)) {
            out += QStringLiteral("\\x") +
                   QString::number(u - 0xDC00, 16).toUpper().rightJustified(2, u'0');
        } else {
            out += text[i];
        }
    }
    return out;
}

void note(const QString& line) {
    QString oneLine = readable(line);
    oneLine.replace(u'\r', u' ').replace(u'\n', u' ');
    // There is nowhere left to report a failure to write it.
    const QByteArray bytes = oneLine.toUtf8() + '\n';
    writeFully(messageDescriptor(), bytes.constData(), bytes.size());
}

QuietLibraries::QuietLibraries() {
    std::fflush(stderr);
    m_real = ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (m_real < 0 || null < 0 || ::dup2(null, STDERR_FILENO) < 0) {
        if (m_real >= 0)
            ::close(m_real);
        if (null >= 0)
            ::close(null);
        m_real = -1;
        return;
    }
    ::close(null);
    setMessageDescriptor(m_real);
    setSanitizerReports(m_real);
    m_previous = qInstallMessageHandler(&dropMessage);
}

QuietLibraries::~QuietLibraries() {
    if (m_real < 0)
        return;
    qInstallMessageHandler(m_previous);
    std::fflush(stderr);
    ::dup2(m_real, STDERR_FILENO);
    setSanitizerReports(STDERR_FILENO);
    setMessageDescriptor(-1);
    ::close(m_real);
}

void setRunsOnce() {
    g_runsOnce = true;
}

OwnImageFormats::OwnImageFormats() {
    // Undone unless the process ends anyway: setting the paths again makes
    // Qt look through the plugin folders once more.
    m_restore = !g_runsOnce;
    if (m_restore)
        m_paths = QCoreApplication::libraryPaths();
    QCoreApplication::setLibraryPaths({});
}

OwnImageFormats::~OwnImageFormats() {
    if (m_restore)
        QCoreApplication::setLibraryPaths(m_paths);
}

bool OwnImageFormats::builtIn(const QByteArray& head) {
    const auto space = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    const bool pnm =
        head.size() >= 3 && head[0] == 'P' && head[1] >= '1' && head[1] <= '6' && space(head[2]);
    return head.startsWith("\x89PNG\r\n\x1a\n") || head.startsWith("BM") || pnm ||
           head.startsWith("/* XPM */");
}

} // namespace zentraq::cli
