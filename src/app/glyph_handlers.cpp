// Glyph data handlers of the main window: the six size buttons, the ASCII
// fill and the copy to the clipboard. The conversion itself is
// glyph::qumo, shared with tools that have no window.
#include "glyphcanvasbox.h"
#include "mainwindow.h"
#include "problemtext.h"
#include "qumo.h"
#include "runtime_error.h"
#include "textbox.h"
#include "ui_main.h"

#include <QLabel>

#include <new>

namespace zentraq {

// The canvas becomes exactly width x height with its font size from the
// width read back, then Text1 is converted at that size. Without the memory
// for the new canvas nothing is converted and the output stays as it was.
void main::sizeButton(qint16 width, qint16 height, bool square) {
    try {
        glyph::prepareCanvas(ui->Picture1->canvas(), width, height, square);
    } catch (const std::bad_alloc&) {
        ui->Picture1->surfaceChanged();
        m_services.boxes.show(QStringLiteral("内存不足，无法生成字模数据"));
        return;
    }
    qumo(width, height);
}

// Converts Text1 into glyph data, one line per character, into Text2, and
// shows the byte count in Label1. Both are set once, at the end; the canvas
// then shows the last character drawn.
void main::qumo(qint16 width, qint16 height) {
    GlyphCanvasBox& canvas = *ui->Picture1;
    glyph::GlyphData data;
    try {
        data = glyph::qumo(ui->Text1->text(), canvas.canvas(), width, height);
    } catch (const RuntimeError& e) {
        // Only a cell above the 16-bit pixel count gets here (the buttons'
        // sizes are far below it); the output stays as it was.
        canvas.surfaceChanged();
        m_services.boxes.show(problemText(e));
        return;
    } catch (const std::bad_alloc&) {
        canvas.surfaceChanged();
        m_services.boxes.show(QStringLiteral("内存不足，文本太长，无法生成字模数据"));
        return;
    }
    ui->Text2->setText(data.text);
    ui->Label1->setText(glyph::dataSizeCaption(data.byteCount));
    canvas.surfaceChanged();
}

void main::Command1_Click() {
    sizeButton(12, 12, true);
}
void main::Command5_Click() {
    sizeButton(16, 16, true);
}
void main::Command6_Click() {
    sizeButton(32, 32, true);
}
void main::Command7_Click() {
    sizeButton(6, 12, false);
}
void main::Command8_Click() {
    sizeButton(8, 16, false);
}
void main::Command9_Click() {
    sizeButton(16, 32, false);
}

// "填冲95个ASCII字符": the printable ASCII characters, space to "~", no line
// break. Nothing is converted until a size button is pressed.
void main::Command13_Click() {
    ui->Text1->setText(glyph::printableAscii());
}

// "字模数据复制到粘贴板": Text2 as plain text on the clipboard (an empty Text2
// too). When the clipboard cannot be written the user is told so, not that
// the copy succeeded.
void main::Command10_Click() {
    QString error;
    if (!m_services.clipboard.setText(ui->Text2->text(), &error)) {
        if (error.isEmpty())
            error = QStringLiteral("剪贴板无法写入");
        m_services.boxes.show(QStringLiteral("复制失败，字模数据没有放到粘贴板上：") + error);
        return;
    }
    m_services.boxes.show(
        QStringLiteral("成功复制到粘贴板，现在可以去编译环境中直接粘贴字模数据了"));
}

} // namespace zentraq
