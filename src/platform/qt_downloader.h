#pragma once

#include "services.h"

#include <chrono>

namespace zentraq::platform {

// Downloads with Qt Network, synchronously from the caller's point of view.
//
// While it waits, the program's windows are repainted and timers run, but
// user input (mouse, keyboard, wheel, touch, the window's close button) is
// discarded, not replayed afterwards: the window reacts to nothing the user
// does during the wait. The whole download has a hard deadline; its expiry is
// a failure. HTTP redirects are followed (at most kMaxRedirects, never from
// https to http). Anything but a complete answer with a 2xx status is a
// failure. The local file is written only when the download succeeded: the
// data goes to a temporary file beside it that replaces it on success.
class QtDownloader : public Downloader {
public:
    static constexpr std::chrono::milliseconds kDefaultDeadline{10'000};
    static constexpr int kMaxRedirects = 10;

    explicit QtDownloader(std::chrono::milliseconds deadline = kDefaultDeadline)
        : m_deadline(deadline) {}

    Result download(const QUrl& url, const QString& localPath) override;

private:
    std::chrono::milliseconds m_deadline;
};

} // namespace zentraq::platform
