#pragma once

#include "services.h"

#include <chrono>

namespace zentraq::platform {

// Downloads over HTTP/1.1 (or HTTP/1.1 over TLS) with Qt's sockets in the
// calling thread, synchronously from the caller's point of view.
//
// While it waits, the program's windows are repainted and timers run, but
// user input (mouse, keyboard, wheel, touch) is discarded, not replayed
// afterwards: the window reacts to nothing the user does during the wait.
// The one exception is the window's close button: it ends the download at
// once (Failure::Interrupted) and the window closes.
//
// The whole download has a hard deadline, which holds however fast or slow
// the data comes; its expiry is a failure. The answer is taken in pieces: its
// status line and header lines at most 64 KiB in all (redirects and interim
// answers included), its body at most `maxBytes` long. A longer one (or one
// that announces a longer length) is a failure as soon as that shows, so
// memory stays small whatever the server sends. At a failure the connection
// is closed at once: nothing more is read. HTTP redirects are followed (at
// most kMaxRedirects, never from https to http). Anything but a complete
// answer with a 2xx status is a failure.
//
// The local file is written only when the download succeeded, and never
// through a link: the data goes into a new file beside it, which is then
// renamed over the local path, replacing whatever entry has that name (a
// symbolic link included). Nothing else is left behind on any path.
class QtDownloader : public Downloader {
public:
    static constexpr std::chrono::milliseconds kDefaultDeadline{10'000};
    static constexpr int kMaxRedirects = 10;

    explicit QtDownloader(std::chrono::milliseconds deadline = kDefaultDeadline,
                          qint64 maxBytes = kMaxBytes)
        : m_deadline(deadline), m_maxBytes(maxBytes) {}

    Result download(const QUrl& url, const QString& localPath) override;

private:
    std::chrono::milliseconds m_deadline;
    qint64 m_maxBytes;
};

// Writes `data` into a new file in the folder of `path` and renames it over
// `path`. A symbolic link at `path` is replaced, not followed. Returns false,
// with a description in `error`, when the file cannot be written; no
// temporary file is left then.
bool replaceFile(const QString& path, const QByteArray& data, QString* error);

} // namespace zentraq::platform
