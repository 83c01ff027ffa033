#include "monitor/table/qt/port_cell_delegate.h"

#include <QPainter>

#include "monitor/table/columns.h"

QColor StatusWordColour(const QString& text) {
    if (text == QLatin1String("OFF")) {
        return QColor(127, 127, 127);
    }
    if (text == QLatin1String("CLOSED")) {
        return QColor(147, 0, 0);
    }
    if (text == QLatin1String("ON")) {
        return QColor(0, 0, 255);
    }
    if (text == QLatin1String("OPEN")) {
        return QColor(0, 128, 0);
    }
    return {};
}

int ThroughputBarWidth(unsigned long value, int width, int maxBaud) {
    if (maxBaud <= 0 || width <= 0) {
        return 0;
    }
    const long long scaled =
        (static_cast<long long>(value) * width + maxBaud / 2) / static_cast<long long>(maxBaud);
    // A bar far beyond the cell is still only drawn to the view's edge.
    return scaled > 1 << 20 ? 1 << 20 : static_cast<int>(scaled);
}

void PortCellDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const {
    const QString text = index.data(Qt::DisplayRole).toString();
    const bool selected = option.state.testFlag(QStyle::State_Selected);
    const QPalette& palette = option.palette;
    const QColor textColour = palette.color(QPalette::Text);
    const QColor backColour = palette.color(QPalette::Base);
    const QColor selectedTextColour = palette.color(QPalette::HighlightedText);
    const QColor selectedBackColour = palette.color(QPalette::Highlight);
    const QColor barColour = palette.color(QPalette::Highlight);
    const QColor barRestColour = palette.color(QPalette::Button);

    painter->save();
    QRect rect = option.rect;
    painter->fillRect(rect, selected ? selectedBackColour : backColour);
    rect.adjust(2, 1, -2, -1);

    const QLatin1String marker(kThroughputMarker.data(),
                               static_cast<qsizetype>(kThroughputMarker.size()));
    if (text.endsWith(marker)) {
        const QString number = text.left(text.size() - marker.size());
        painter->setPen(textColour);
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(rect.adjusted(0, 0, -1, -1));
        rect.adjust(1, 1, -1, -1);
        const int barWidth = ThroughputBarWidth(number.toULong(), rect.width(), maxBaud_);
        const QRect bar(rect.left(), rect.top(), barWidth, rect.height());
        const QRect rest(rect.left() + barWidth, rect.top(), std::max(0, rect.width() - barWidth),
                         rect.height());
        const int flags = Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextSingleLine;
        if (selected) {
            painter->fillRect(bar, barRestColour);
            painter->fillRect(rest, backColour);
            painter->setPen(QColor(255, 0, 0));
            painter->drawText(rect, flags, number);
        } else {
            painter->fillRect(bar, barColour);
            painter->fillRect(rest, barRestColour);
            // The number reads across both parts: light over the bar, dark over the rest.
            painter->setClipRect(bar.intersected(option.rect));
            painter->setPen(backColour);
            painter->drawText(rect, flags, number);
            painter->setClipRect(rest);
            painter->setPen(textColour);
            painter->drawText(rect, flags, number);
        }
    } else {
        QColor colour = selected ? selectedTextColour : StatusWordColour(text);
        if (!colour.isValid()) {
            colour = textColour;
        }
        painter->setPen(colour);
        painter->drawText(rect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextDontClip, text);
    }
    painter->restore();
}
