#include "terminal/session/port_thread.h"

#include "terminal/session/port_wnd.h"
#include "terminal/session/process_events.h"

CPortThread::CPortThread(std::unique_ptr<CPortWnd> view) : view_(std::move(view)) {
    view_->moveToThread(this);
}

CPortThread::~CPortThread() {
    quit();
    wait();
    // A thread that never ran still owns its view; nothing of the view ever ran on it, so it
    // can go from here.
    view_.reset();
}

void CPortThread::run() {
    exec();
    // The view belongs to this thread: its timer and session go here, before the frame learns
    // that the thread has ended.
    view_.reset();
    if (platform::EventHandle ended = PortThreadEndedEvent()) {
        ended->Set();
    }
}
