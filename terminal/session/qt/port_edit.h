#pragma once
// The port window's display: draws the text of a DisplayBuffer the way a multi-line edit control
// shows it (CR LF line breaks, a fixed-pitch font, the selection and the caret) and turns the
// user's keys and clicks into what the port window expects. Typed characters go to the port
// window and are never inserted into the text, so nothing typed is echoed; the cursor keys and
// the mouse move the buffer's selection, which is where received text is written next.
//
// Writers change the buffer on their own threads. Its change notifier only posts to this widget,
// which takes the changes at most once a frame (about 30 a second): a change after a quiet frame
// is taken at once, so a typed echo shows without delay, and a stream of changes is taken once a
// frame. Only the lines that changed are repainted; a scroll moves what is already drawn.

#include <QAbstractScrollArea>
#include <QElapsedTimer>
#include <QGlyphRun>
#include <QRawFont>
#include <QRegion>
#include <QTimer>
#include <array>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "terminal/session/display_buffer.h"

class CPortEdit : public QAbstractScrollArea {
    Q_OBJECT

  public:
    explicit CPortEdit(std::shared_ptr<DisplayBuffer> display, QWidget* parent = nullptr);
    ~CPortEdit() override;

    // Typed characters (code 0..255 and the key's scan code), the context menu request (global
    // position of the mouse cursor) and a left-button press (before the widget handles it).
    void SetCharHandler(std::function<void(unsigned code, unsigned scanCode)> handler);
    void SetContextMenuHandler(std::function<void(QPoint globalPos)> handler);
    void SetMousePressHandler(std::function<void()> handler);

    // Takes the buffer's changes now and repaints what changed (the frame timer calls it).
    void Refresh();

    // The shortest time between two takes of the buffer's changes while they stream.
    static constexpr int kFrameMs = 33;
    // The same while the text streams so fast that each frame brings half a view of new lines
    // or more: nobody reads pages that pass at that speed, and each frame redraws the whole view.
    static constexpr int kPageFrameMs = 100;
    // The shortest time between two redraws of the scroll bar while the text streams: each
    // costs about as much as a frame of text.
    static constexpr int kScrollBarMs = 1000;

    // For tests: the first visible line, the caret's line and the time between frames now.
    int FirstVisibleLine() const;
    int CaretLine() const;
    int FrameMs() const { return frameMs_; }

  protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void changeEvent(QEvent* event) override;

  private:
    // Shared by the widget and its change notifier: a notifier already running on a writer
    // thread when the widget goes away finds `widget` empty instead of a destroyed object.
    struct Liveness;

    enum class Motion {
        Left,
        Right,
        WordLeft,
        WordRight,
        Up,
        Down,
        LineStart,
        LineEnd,
        TextStart,
        TextEnd,
        PageUp,
        PageDown,
    };

    void OnDisplayChanged();
    // Takes the buffer's changes into the widget's copy of the text, its line index and its
    // selection, and notes which lines must be repainted.
    void Sync(DisplayBuffer::Locked& lock);
    void Reindex(std::size_t from);
    // Applies what Sync noted: scroll ranges, the caret brought into view, the repaint.
    void Repaint(bool scrollToCaret);
    void MarkDirty(std::size_t firstLine, std::size_t lastLine);

    bool TakesKey(const QKeyEvent& event) const;
    void Move(Motion motion, bool extend);
    void MoveTo(QPointF point, bool extend);
    // Writes the selection anchor..caret into the buffer, under the caller's lock.
    void Select(DisplayBuffer::Locked& lock, std::size_t anchor, std::size_t caret);
    std::size_t Target(Motion motion);

    std::size_t LineOf(std::size_t position) const;
    std::size_t LineEnd(std::size_t line) const;
    std::size_t LineLength(std::size_t line) const;
    std::size_t Next(std::size_t position) const;
    std::size_t Previous(std::size_t position) const;
    std::size_t WordRight(std::size_t position) const;
    std::size_t WordLeft(std::size_t position) const;
    bool BreakAt(std::size_t position) const;
    std::size_t PositionAt(QPointF point) const;

    void UpdateMetrics();
    void UpdateScrollBars();
    // Holds back the scroll bar's redraw while changes stream; ShowScrollBar redraws it now.
    void HoldScrollBar();
    void ShowScrollBar();
    void EnsureCaretVisible();
    int VisibleLines() const;
    QRectF CaretRect() const;
    void DrawLine(QPainter& painter, std::size_t line, int y) const;

    std::shared_ptr<DisplayBuffer> display_;
    std::shared_ptr<Liveness> alive_;
    std::function<void(unsigned, unsigned)> charHandler_;
    std::function<void(QPoint)> contextMenuHandler_;
    std::function<void()> mousePressHandler_;
    QTimer frameTimer_;
    QElapsedTimer sinceRefresh_;  // invalid until the first take
    int frameMs_ = kFrameMs;
    // While the text streams the scroll bar keeps its updates off between its redraws: its
    // paint (tall fills the toolkit spreads over its thread pool) costs more than the text's.
    QTimer scrollBarTimer_;
    QElapsedTimer sinceScrollBar_;

    // The widget's copy of the text as of the last Sync, the start of every line in it and,
    // per line, the length of the longest line up to it (the horizontal scroll range).
    std::string text_;
    std::vector<std::size_t> lineStarts_{0};
    std::vector<std::size_t> longestUpTo_{0};

    // The buffer's selection; anchor and caret say which end the user moves.
    std::size_t selStart_ = 0;
    std::size_t selEnd_ = 0;
    std::size_t anchor_ = 0;
    std::size_t caret_ = 0;
    long long wantedColumn_ = -1;  // the column Up and Down keep, -1 for the caret's
    bool dragging_ = false;

    // Lines to repaint (a rectangle one unit wide per run of line numbers) and whether a writer
    // asked for the caret to be brought into view.
    QRegion dirtyLines_;
    bool scrollPending_ = false;

    qreal charWidth_ = 8;
    int lineHeight_ = 16;
    int ascent_ = 12;

    // The font's glyph for each character as shown, so that a line is drawn as a run of glyphs
    // one column apart without being laid out again; `glyphsComplete_` is false when the font
    // lacks one of them, and lines are then laid out as text.
    QRawFont rawFont_;
    std::array<quint32, 256> glyphs_{};
    bool glyphsComplete_ = false;
    // Reused by DrawLine: no allocation per line drawn.
    mutable QList<quint32> runGlyphs_;
    mutable QList<QPointF> runPositions_;
    mutable QGlyphRun run_;
};
