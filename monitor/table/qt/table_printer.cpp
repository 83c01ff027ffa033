#include "monitor/table/qt/table_printer.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPrinter>

#include "monitor/table/print_lines.h"

namespace {

void DrawCentred(QPainter& painter, const QFontMetrics& metrics, int pageWidth, int y,
                 const QString& text) {
    const int x = pageWidth / 2 - static_cast<int>(text.size() / 2) * metrics.averageCharWidth();
    painter.drawText(x, y, text);
}

}  // namespace

bool PrintTableLines(QPrinter& printer, const std::vector<std::string>& lines) {
    QPainter painter;
    if (!painter.begin(&printer)) {
        return false;
    }
    QFont font(QStringLiteral("Arial"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(8);
    painter.setFont(font);
    const QFontMetrics metrics(font, painter.device());
    const int lineHeight = metrics.height() + metrics.leading();
    const int charWidth = metrics.averageCharWidth() + 1;
    const QRect page = painter.viewport();
    const int charsPerLine = page.width() / charWidth;
    const int linesPerPage = std::max(1, page.height() / lineHeight - 10);

    const std::vector<std::string> wrapped = WrapPrintLines(lines, charsPerLine);
    const int pageCount = PrintPageCount(wrapped.size(), linesPerPage);
    int first = 1;
    int last = pageCount;
    if (printer.printRange() == QPrinter::PageRange && printer.fromPage() > 0) {
        first = std::max(1, printer.fromPage());
        last = std::min(pageCount, printer.toPage() > 0 ? printer.toPage() : pageCount);
    }
    for (int number = first; number <= last; ++number) {
        if (number != first) {
            printer.newPage();
        }
        DrawCentred(painter, metrics, page.width(), 20 + metrics.ascent(),
                    QString::fromLatin1(kPrintTitle));
        const std::size_t begin = static_cast<std::size_t>(number - 1) * linesPerPage;
        for (int i = 0; i < linesPerPage && begin + i < wrapped.size(); ++i) {
            const std::string& line = wrapped[begin + i];
            painter.drawText(10, (5 + i) * lineHeight + metrics.ascent(),
                             QString::fromLatin1(line.data(), static_cast<qsizetype>(line.size())));
        }
        DrawCentred(painter, metrics, page.width(), (linesPerPage + 8) * lineHeight,
                    QString::fromStdString(PrintFooter(number, pageCount)));
    }
    return painter.end();
}
