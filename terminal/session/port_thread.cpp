#include "terminal/session/port_thread.h"

#include "terminal/session/port_wnd.h"
#include "terminal/session/process_events.h"

CPortThread::CPortThread(std::unique_ptr<CPortWnd> view) : view_(std::move(view)) {
    view_->moveToThread(this);
}

CPortThread::~CPortThread() {
    quit();
    wait();
    // A thread that never ran still owns its view, which lives on a thread that never started.
    if (view_) {
        view_->moveToThread(QThread::currentThread());
        view_.reset();
    }
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
