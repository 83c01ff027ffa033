#pragma once
// The toolkit's printer behind the print service's device context: a QPrinter and a QPainter
// drawing on it. Painting on a printer is allowed from any one thread at a time, so a port's
// thread prints while the GUI thread goes on.

#include <QPainter>
#include <QPrinter>
#include <memory>
#include <string>

#include "platform/ui/printer_context.h"

namespace platform {

class QtPrinterContext : public PrinterContext {
  public:
    explicit QtPrinterContext(std::shared_ptr<QPrinter> printer);
    ~QtPrinterContext() override;

    int StartDoc(const std::string& documentName) override;
    int StartPage() override;
    int EndPage() override;
    int EndDoc() override;
    int DrawText(std::string_view text, LONG left, LONG top, LONG right, LONG bottom) override;
    LONG PageWidth() const override;
    LONG PageHeight() const override;
    int DotsPerInch() const override;

    // For toolkit code that draws its own pages (the monitor's table).
    QPrinter& Printer() { return *printer_; }

  private:
    std::shared_ptr<QPrinter> printer_;
    QPainter painter_;
    bool docStarted_ = false;
    bool pageOpen_ = false;
    int pagesEnded_ = 0;
};

// A printer that writes a PDF file at `path`, at 600 dots per inch like a common office
// printer: what tests print to, and what a scripted print dialog answers with.
std::unique_ptr<PrinterContext> MakePdfPrinter(const std::string& path);

}  // namespace platform
