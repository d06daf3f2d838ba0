#include "qt_downloader.h"

#include <QEventLoop>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>

namespace zentraq::platform {

Downloader::Result QtDownloader::download(const QUrl& url, const QString& localPath) {
    QNetworkAccessManager nam;
    QNetworkReply* reply = nam.get(QNetworkRequest(url));
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    Result r;
    if (reply->error() != QNetworkReply::NoError) {
        r.error = reply->errorString();
    } else {
        QFile f(localPath);
        if (f.open(QIODevice::WriteOnly) && f.write(reply->readAll()) >= 0 && f.flush())
            r.ok = true;
        else
            r.error = f.errorString();
    }
    reply->deleteLater();
    return r;
}

} // namespace zentraq::platform
