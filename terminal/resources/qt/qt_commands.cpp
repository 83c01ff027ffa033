#include "terminal/resources/qt/qt_commands.h"

#include <QAction>
#include <QPainter>
#include <QPixmap>

namespace {

// Short glyphs drawn on the buttons, so that every button reads without a tool tip.
const char* Glyph(int id) {
    switch (id) {
        case ID_OPEN_PORT:
            return "OP";
        case ID_SEND_ALL:
            return "S*";
        case ID_STOP_SENDING_ALL:
            return "s-";
        case ID_RECEIVE_ALL:
            return "R*";
        case ID_STOP_RECEIVING_ALL:
            return "r-";
        case ID_CLEAR_SCREEN_ALL:
            return "C*";
        case ID_CHANGE_VIEW_ALL:
            return "V*";
        case ID_TOOLBARS_ALL:
            return "TB";
        case ID_STATUS_BARS_ALL:
            return "SB";
        case ID_APP_ABOUT:
            return "?";
        case ID_OPEN_CLOSE:
            return "O/C";
        case ID_INTERNAL_LOOPBACK:
            return "LB";
        case ID_DTR:
            return "DT";
        case ID_RTS:
            return "RT";
        case ID_SEND:
            return "S";
        case ID_RECEIVE:
            return "R";
        case ID_CLEAR_SCREEN:
            return "C";
        case ID_CHANGE_VIEW:
            return "V";
        case ID_FILE_SAVE_AS:
            return "SA";
        case ID_FILE_PRINT:
            return "P";
        default:
            return "";
    }
}

}  // namespace

QAction* MakeCommandAction(int id, const char* text, QObject* parent) {
    auto* action = new QAction(QString::fromLatin1(text), parent);
    action->setData(id);
    action->setObjectName(QStringLiteral("command_%1").arg(id));
    if (const CommandInfo* info = FindCommand(id)) {
        action->setStatusTip(QString::fromLatin1(info->prompt));
        if (info->toolTip != nullptr) {
            action->setToolTip(QString::fromLatin1(info->toolTip));
        }
    }
    return action;
}

QIcon CommandIcon(int id) {
    QPixmap pixmap(16, 15);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    QFont font = painter.font();
    font.setPixelSize(8);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(QColor(0, 0, 128));
    painter.drawRect(0, 0, 15, 14);
    painter.drawText(pixmap.rect(), Qt::AlignCenter, QString::fromLatin1(Glyph(id)));
    painter.end();
    return QIcon(pixmap);
}

int CommandIdOf(const QAction* action) {
    return action == nullptr ? 0 : action->data().toInt();
}
