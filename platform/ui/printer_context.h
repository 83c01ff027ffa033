#pragma once
// Printing through the prompt service: the print dialog gives a printer as a device context
// with the document and page calls of the system's printing interface, in device units. The
// toolkit's printer stands behind it; tests print to a PDF file.

#include <memory>
#include <string>
#include <string_view>

#include "platform/ui/prompt_gate.h"
#include "platform/win/win_types.h"

namespace platform {

#ifndef _WIN32
constexpr DWORD PD_NOSELECTION = 0x00000004u;
constexpr DWORD PD_HIDEPRINTTOFILE = 0x00100000u;
constexpr int SP_ERROR = -1;
#endif

struct PrintDialogRequest {
    DWORD flags = 0;  // PD_NOSELECTION, PD_HIDEPRINTTOFILE
    // The port the dialog belongs to; none: the asking thread's owner.
    PromptOwner owner = kNoPromptOwner;
};

// A chosen printer. Calls come from one thread at a time, which need not be the GUI thread.
class PrinterContext {
  public:
    virtual ~PrinterContext() = default;
    // A positive job number, or SP_ERROR.
    virtual int StartDoc(const std::string& documentName) = 0;
    // Positive on success, SP_ERROR (or 0) on failure.
    virtual int StartPage() = 0;
    virtual int EndPage() = 0;
    virtual int EndDoc() = 0;
    // Draws `text` left-aligned from the rectangle's top left corner, breaking lines only at
    // line feeds and cutting off what does not fit; returns the height drawn, 0 on failure.
    virtual int DrawText(std::string_view text, LONG left, LONG top, LONG right, LONG bottom) = 0;
    // The printable page in device units, and the device's dots per inch.
    virtual LONG PageWidth() const = 0;
    virtual LONG PageHeight() const = 0;
    virtual int DotsPerInch() const = 0;
};

}  // namespace platform
