#pragma once
// The statistics report of a port window, drawn in place of its data display: the report's
// lines from the top left, one per line break, no wrapping, in the widget's default font.

#include <QWidget>
#include <functional>
#include <string>
#include <vector>

class CReportWidget : public QWidget {
  public:
    explicit CReportWidget(QWidget* parent = nullptr);

    void SetText(const std::string& text);
    const std::string& Text() const { return text_; }
    void SetContextMenuHandler(std::function<void(QPoint globalPos)> handler);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    std::string text_;
    std::vector<std::string> lines_;
    std::function<void(QPoint)> contextMenu_;
};
