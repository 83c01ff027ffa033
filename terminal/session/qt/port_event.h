#pragma once
// A private message as a toolkit event. The program's own messages (0x1400 and up) are event
// types of their own; the window messages a port asks for (WM_CLOSE, WM_CHAR, WM_COMMAND, the MDI
// arrangements) travel as one request type that carries the message, so they never collide with
// the toolkit's built-in event numbers.

#include <QEvent>
#include <string>

#include "terminal/session/port_messages.h"

// The view's creation, posted by the frame as the first event of the port thread.
constexpr UINT UWM_CREATE_VIEW = 0x1411;
constexpr UINT UWM_WINDOW_REQUEST = 0x1412;

class PortMessageEvent : public QEvent {
  public:
    PortMessageEvent(UINT message, WPARAM wParam, LPARAM lParam, std::string text = {})
        : QEvent(TypeOf(message)),
          message_(message),
          wParam_(wParam),
          lParam_(lParam),
          text_(std::move(text)) {}

    static QEvent::Type TypeOf(UINT message) {
        return static_cast<QEvent::Type>(message >= UWM_ROUTE_COMMAND ? message
                                                                      : UWM_WINDOW_REQUEST);
    }
    static bool IsPortMessage(const QEvent* event) {
        const int type = event->type();
        return type >= static_cast<int>(UWM_ROUTE_COMMAND) &&
               type <= static_cast<int>(UWM_WINDOW_REQUEST);
    }

    UINT Message() const { return message_; }
    WPARAM WParam() const { return wParam_; }
    LPARAM LParam() const { return lParam_; }
    const std::string& Text() const { return text_; }

  private:
    UINT message_;
    WPARAM wParam_;
    LPARAM lParam_;
    std::string text_;
};
