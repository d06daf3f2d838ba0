// Picture data handlers of the main window: import into the preview and
// conversion into temp.txt. The conversion itself is
// rgbqumo::ConvertPictureData, shared with tools that have no window.
#include "autosizelabel.h"
#include "carray.h"
#include "mainwindow.h"
#include "metafile.h"
#include "numbertext.h"
#include "picturebox.h"
#include "pictureconvert.h"
#include "pictureloader.h"
#include "problemtext.h"
#include "runtime_error.h"
#include "textbox.h"
#include "ui_main.h"

#include <QLabel>
#include <QPushButton>

#include <chrono>
#include <exception>
#include <new>

namespace zentraq {
namespace {

// The window handles its events after every pixel, but hands control to the
// event loop at most this often. Events still run within a few milliseconds
// of arriving (repaints, clicks, closing the window), which is what keeping
// the window live during a conversion means to the user; processing the
// event loop for each of two million pixels would cost seconds without
// anything for the user to see.
constexpr std::chrono::milliseconds PumpInterval{5};

} // namespace

// "导入图片": choose a picture, show it in the preview and tell its size.
void main::Command11_Click() {
    try {
        CommonDialog1.ShowOpen();
        const QString name = CommonDialog1.FileName;
        PictureBox& picture = *ui->Picturelin;

        // The sizes as the captions print them: single precision (a
        // metafile's keeps its fraction), data size computed from them in
        // single precision too.
        auto sizeText = [&picture] {
            const QSizeF extent = picture.extent();
            const auto w = static_cast<float>(extent.width());
            const auto h = static_cast<float>(extent.height());
            const float bytes = h * w * 2.0f;
            return SingleText(w) + QStringLiteral("*") + SingleText(h) +
                   QStringLiteral(" 取模数据大小:") + SingleText(bytes) + QStringLiteral("字节");
        };

        if (name.size() > 3) {
            const QImage loaded = rgbqumo::LoadPicture(name);
            picture.setPicture(loaded, rgbqumo::PictureExtent(loaded));
            ui->Label5->setText(QStringLiteral("图片预揽区 当前图片尺寸:") + sizeText());
        }
        m_services.boxes.show(QStringLiteral("当前图片尺寸:") + sizeText());
    } catch (const std::exception& e) {
        m_services.boxes.show(QStringLiteral("出现错误") + problemText(e));
    }
}

// "生成取模数据": the buttons that could start another import or conversion,
// or copy a half-finished result, are off while the conversion runs.
void main::Command12_Click() {
    if (m_converting)
        return;
    ui->Command11->setEnabled(false);
    ui->Command12->setEnabled(false);
    ui->Command10->setEnabled(false);
    m_converting = true;
    ConvertPicture();
    m_converting = false;
    ui->Command11->setEnabled(true);
    ui->Command12->setEnabled(true);
    ui->Command10->setEnabled(true);
}

// Converts the picture in the preview into temp.txt in the data folder,
// then says where the data is and opens the file. Lets no error escape.
//
// Closing the window while it runs stops the conversion before the next
// pixel: the file keeps what was written, and no box or application follows.
void main::ConvertPicture() {
    const QString path = rgbqumo::DataFilePath(m_services.dataFolder);
    try {
        PictureBox& picture = *ui->Picturelin;

        rgbqumo::ConversionHooks hooks;
        hooks.started = [this] {
            ui->Label8->setText(QString());
            ui->Label8->setVisible(true);
        };
        hooks.progress = [this](const QString& caption) { ui->Label8->setText(caption); };
        hooks.pump = [this] { m_services.pump.pump(); };
        hooks.stopRequested = [this] { return m_closing; };
        hooks.pumpInterval = PumpInterval;

        const rgbqumo::ConversionResult result = rgbqumo::ConvertPictureData(
            picture.surface(), picture.width(), picture.height(), path, hooks);
        if (result.stopped)
            return;

        if (result.total > 0) {
            m_services.boxes.show(QStringLiteral("图片取模数据不显示在软件界面,数据已经写入") +
                                  path);
            // Whether an application took the file is not reported: the box
            // has just said where it is.
            m_services.shell.openFile(path, nullptr);
        } else {
            // Nothing to convert: the (empty) file is shown in the data area.
            ui->Label8->setText(QStringLiteral("取模完成,正在调入数据到数据生成区,请稍后....."));
            m_services.pump.pump();
            if (m_closing)
                return;
            ui->Text2->setText(rgbqumo::ReadDataText(path));
        }

        ui->Label8->setVisible(false);
        ui->Label1->setText(
            QString::fromStdString(core::dataSizeMessage(static_cast<long long>(result.bytes))));
    } catch (const std::exception& e) {
        // The data file is already closed with what was written before the
        // failure; the progress label keeps its last caption.
        if (!m_closing)
            m_services.boxes.show(QStringLiteral("出现错误") + problemText(e));
    }
}

} // namespace zentraq
