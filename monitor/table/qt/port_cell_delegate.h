#pragma once
// Draws every cell of the port table itself: status words in their colours and the actual
// throughput as a bar scaled to the maximum baud rate, with its number centred over it.

#include <QColor>
#include <QStyledItemDelegate>

// The colour a status word is drawn in outside a selected row; invalid for ordinary text.
QColor StatusWordColour(const QString& text);

// The width of the throughput bar in a cell interior `width` pixels wide: value × width /
// maxBaud rounded as the system's MulDiv rounds, wider than the cell when the throughput
// exceeds the full scale; 0 when there is no full scale.
int ThroughputBarWidth(unsigned long value, int width, int maxBaud);

class PortCellDelegate : public QStyledItemDelegate {
  public:
    explicit PortCellDelegate(QObject* parent = nullptr) : QStyledItemDelegate(parent) {}

    void SetMaxBaud(int maxBaud) { maxBaud_ = maxBaud; }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

  private:
    int maxBaud_ = 115200;
};
