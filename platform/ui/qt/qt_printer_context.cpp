#include "platform/ui/qt/qt_printer_context.h"

#include <QPageLayout>
#include <algorithm>

namespace platform {

namespace {

constexpr int kPdfDotsPerInch = 600;

QString FromNarrow(std::string_view text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

QtPrinterContext::QtPrinterContext(std::shared_ptr<QPrinter> printer)
    : printer_(std::move(printer)) {}

QtPrinterContext::~QtPrinterContext() {
    // A document left open is ended, so its file is complete rather than cut off.
    if (painter_.isActive()) {
        painter_.end();
    }
}

int QtPrinterContext::StartDoc(const std::string& documentName) {
    if (docStarted_) {
        return SP_ERROR;
    }
    printer_->setDocName(FromNarrow(documentName));
    // Beginning to paint starts the document and its first page at once.
    if (!painter_.begin(printer_.get())) {
        return SP_ERROR;
    }
    docStarted_ = true;
    return 1;
}

int QtPrinterContext::StartPage() {
    if (!docStarted_ || pageOpen_) {
        return SP_ERROR;
    }
    // The first page came with the document; every later one is asked for.
    if (pagesEnded_ > 0 && !printer_->newPage()) {
        return SP_ERROR;
    }
    pageOpen_ = true;
    painter_.setPen(Qt::black);
    return 1;
}

int QtPrinterContext::EndPage() {
    if (!pageOpen_) {
        return SP_ERROR;
    }
    pageOpen_ = false;
    ++pagesEnded_;
    return 1;
}

int QtPrinterContext::EndDoc() {
    if (!docStarted_) {
        return SP_ERROR;
    }
    docStarted_ = false;
    return painter_.end() ? 1 : SP_ERROR;
}

int QtPrinterContext::DrawText(std::string_view text, LONG left, LONG top, LONG right,
                               LONG bottom) {
    if (!pageOpen_ || right < left || bottom < top) {
        return 0;
    }
    // Lines end with CR LF in the display's text; only the line feed breaks a line.
    QString shown = FromNarrow(text);
    shown.remove(QLatin1Char('\r'));
    const QRect rect(left, top, right - left, bottom - top);
    QRect drawn;
    // Without TextDontClip the toolkit cuts off what does not fit in the rectangle.
    painter_.drawText(rect, Qt::AlignLeft | Qt::AlignTop, shown, &drawn);
    return std::max(1, std::min(drawn.height(), rect.height()));
}

LONG QtPrinterContext::PageWidth() const {
    return printer_->pageLayout().paintRectPixels(printer_->resolution()).width();
}

LONG QtPrinterContext::PageHeight() const {
    return printer_->pageLayout().paintRectPixels(printer_->resolution()).height();
}

int QtPrinterContext::DotsPerInch() const {
    return printer_->resolution();
}

std::unique_ptr<PrinterContext> MakePdfPrinter(const std::string& path) {
    auto printer = std::make_shared<QPrinter>(QPrinter::HighResolution);
    printer->setOutputFormat(QPrinter::PdfFormat);
    printer->setOutputFileName(QString::fromLocal8Bit(path.c_str()));
    printer->setResolution(kPdfDotsPerInch);
    return std::make_unique<QtPrinterContext>(std::move(printer));
}

}  // namespace platform
