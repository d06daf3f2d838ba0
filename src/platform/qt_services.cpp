#include "qt_services.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>

#include <cstdio>
#include <cstdlib>

namespace zentraq::platform {

void QtMessageBoxes::show(const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Zentraq"), text, QMessageBox::Ok,
                    m_parent);
    // No icon on the button either, whatever the desktop's style puts there.
    for (QAbstractButton* button : box.buttons())
        button->setIcon(QIcon());
    box.exec();
}

std::optional<QString> QtFileOpenDialog::open(const QString& current) {
    // No filter, no title and no start folder of our own: the dialog starts
    // from the remembered file, if any.
    const QString chosen = QFileDialog::getOpenFileName(m_parent, QString(), current);
    if (chosen.isEmpty())
        return std::nullopt;
    return chosen;
}

bool QtClipboard::setText(const QString& text, QString* error) {
    QClipboard* cb = QGuiApplication::clipboard();
    if (!cb) {
        if (error)
            *error = QStringLiteral("无法打开剪贴板");
        return false;
    }
    cb->clear();
    cb->setText(text);
    // Read back: when another program holds the clipboard, or the window
    // system refused ownership, the text is not what we put there.
    const QMimeData* data = cb->mimeData();
    if (!data || (data->hasText() ? data->text() : QString()) != text) {
        if (error)
            *error = QStringLiteral("无法写入剪贴板，剪贴板可能正被其他程序占用");
        return false;
    }
    return true;
}

bool QtDesktopShell::openFile(const QString& path, QString* error) {
    QString why;
    if (!m_opener.launch(QFileInfo(path).absoluteFilePath(), &why)) {
        if (error)
            *error = QStringLiteral("无法打开文件 %1：%2").arg(path, why);
        return false;
    }
    return true;
}

bool QtDesktopShell::openUrl(const QUrl& url, QString* error) {
    QString why;
    if (!m_opener.launch(url.toString(QUrl::FullyEncoded), &why)) {
        if (error)
            *error = QStringLiteral("无法启动浏览器打开 %1：%2").arg(url.toString(), why);
        return false;
    }
    return true;
}

void QtEventPump::pump() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void QtProgramExit::endNow() {
    std::fflush(nullptr);
    std::_Exit(0);
}

QString programFolder() {
    return QCoreApplication::applicationDirPath();
}

} // namespace zentraq::platform
