#pragma once

#include "services.h"

namespace zentraq::platform {

// Downloads with Qt Network, synchronously from the caller's point of view.
class QtDownloader : public Downloader {
public:
    Result download(const QUrl& url, const QString& localPath) override;
};

} // namespace zentraq::platform
