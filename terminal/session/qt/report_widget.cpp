#include "terminal/session/qt/report_widget.h"

#include <QContextMenuEvent>
#include <QCursor>
#include <QPainter>

#include "terminal/session/statistics_report.h"

CReportWidget::CReportWidget(QWidget* parent) : QWidget(parent) {
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Window);
}

void CReportWidget::SetText(const std::string& text) {
    text_ = text;
    lines_ = ReportLines(text_);
    update();
}

void CReportWidget::SetContextMenuHandler(std::function<void(QPoint)> handler) {
    contextMenu_ = std::move(handler);
}

void CReportWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    // The report is drawn into a fixed 1000 x 1000 area from the top left.
    const QRect area(0, 0, 1000, 1000);
    const int lineHeight = painter.fontMetrics().height();
    int top = area.top();
    for (const std::string& line : lines_) {
        if (top >= area.bottom()) {
            break;
        }
        painter.drawText(QRect(area.left(), top, area.width(), lineHeight),
                         Qt::AlignLeft | Qt::AlignTop | Qt::TextExpandTabs,
                         QString::fromLatin1(line.data(), static_cast<qsizetype>(line.size())));
        top += lineHeight;
    }
}

void CReportWidget::contextMenuEvent(QContextMenuEvent*) {
    if (contextMenu_) {
        contextMenu_(QCursor::pos());
    }
}
