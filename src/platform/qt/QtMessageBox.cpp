#include "platform/qt/QtMessageBox.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QString>

#include "common/Strings.h"

namespace {

QMessageBox::Icon QtIcon(MsgIcon icon) {
    switch (icon) {
        case MsgIcon::Error: return QMessageBox::Critical;
        case MsgIcon::Warning: return QMessageBox::Warning;
        case MsgIcon::Information: return QMessageBox::Information;
        case MsgIcon::Question: return QMessageBox::Question;
        case MsgIcon::None: break;
    }
    return QMessageBox::NoIcon;
}

}  // namespace

std::string UnixLineEnds(const std::string& text) {
    return ReplaceAll(ReplaceAll(text, "\r\n", "\n"), "\r", "\n");
}

MsgAnswer ShowQtMessageBox(QWidget* parent, const std::string& text, MsgIcon icon,
                           MsgButtons buttons, const std::string& title) {
    QMessageBox box(QtIcon(icon), QString::fromStdString(title),
                    QString::fromStdString(UnixLineEnds(text)), QMessageBox::NoButton, parent);
    // The texts come from files and servers; they are never markup.
    box.setTextFormat(Qt::PlainText);
    if (buttons == MsgButtons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.button(QMessageBox::Yes)->setText("Da");
        box.button(QMessageBox::No)->setText("Ne");
        box.setDefaultButton(QMessageBox::Yes);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
        box.button(QMessageBox::Ok)->setText("U redu");
    }
    const int pressed = box.exec();
    if (buttons == MsgButtons::Ok) return MsgAnswer::Ok;
    return pressed == QMessageBox::Yes ? MsgAnswer::Yes : MsgAnswer::No;
}
