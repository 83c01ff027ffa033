// Print's pages: each draws the rest of the text and the next begins 72 lines further on; a
// page that cannot be started ends the document instead of being tried again and again.

#include "terminal/session/print_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A printer whose pages are recorded; its page start fails from page `failFrom` on.
class RecordingPrinter : public platform::PrinterContext {
  public:
    int StartDoc(const std::string& name) override {
        docName = name;
        return docFails ? platform::SP_ERROR : 1;
    }
    int StartPage() override {
        ++pageStarts;
        return pageStarts >= failFrom ? platform::SP_ERROR : 1;
    }
    int EndPage() override { return 1; }
    int EndDoc() override {
        ++docsEnded;
        return 1;
    }
    int DrawText(std::string_view text, LONG, LONG, LONG, LONG) override {
        pages.emplace_back(text);
        return 1;
    }
    LONG PageWidth() const override { return 5000; }
    LONG PageHeight() const override { return 10000; }
    int DotsPerInch() const override { return 600; }

    bool docFails = false;
    int failFrom = 1000;
    int pageStarts = 0;
    int docsEnded = 0;
    std::string docName;
    std::vector<std::string> pages;
};

std::string Lines(int count) {
    std::string text;
    for (int i = 1; i <= count; ++i) {
        text += "line " + std::to_string(i) + "\r\n";
    }
    return text;
}

TEST(PrintTextTest, PagesBeginSeventyTwoLinesApart) {
    struct Case {
        int lines;
        std::size_t pages;
    };
    for (const Case c :
         {Case{0, 0}, Case{1, 1}, Case{72, 1}, Case{73, 2}, Case{100, 2}, Case{145, 3}}) {
        RecordingPrinter printer;
        EXPECT_EQ(PrintText(printer, Lines(c.lines)), PrintResult::Printed);
        ASSERT_EQ(printer.pages.size(), c.pages) << c.lines;
        EXPECT_EQ(printer.docName, "Print");
        EXPECT_EQ(printer.docsEnded, 1);
        for (std::size_t page = 0; page < c.pages; ++page) {
            EXPECT_EQ(
                printer.pages[page].rfind("line " + std::to_string(page * 72 + 1) + "\r\n", 0), 0u)
                << c.lines << " lines, page " << page;
        }
    }
    // The last line of a text without a final line end is printed too.
    RecordingPrinter printer;
    PrintText(printer, Lines(72) + "tail");
    ASSERT_EQ(printer.pages.size(), 2u);
    EXPECT_EQ(printer.pages[1], "tail");
}

TEST(PrintTextTest, FailuresEndTheDocument) {
    RecordingPrinter noDoc;
    noDoc.docFails = true;
    EXPECT_EQ(PrintText(noDoc, Lines(10)), PrintResult::DocumentFailed);
    EXPECT_TRUE(noDoc.pages.empty());

    RecordingPrinter secondPage;
    secondPage.failFrom = 2;
    EXPECT_EQ(PrintText(secondPage, Lines(300)), PrintResult::PageFailed);
    EXPECT_EQ(secondPage.pages.size(), 1u);
    EXPECT_EQ(secondPage.pageStarts, 2);
    EXPECT_EQ(secondPage.docsEnded, 1);
}

}  // namespace
