#include "terminal/session/qt/port_thread.h"

#include <QCoreApplication>

#include "terminal/session/qt/port_wnd.h"
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

bool CPortThread::Post(std::unique_ptr<QEvent> event) {
    std::lock_guard lock(mutex_);
    if (!view_) {
        return false;
    }
    QCoreApplication::postEvent(view_.get(), event.release());
    return true;
}

bool CPortThread::Invoke(std::function<void(CPortWnd&)> call) {
    std::lock_guard lock(mutex_);
    if (!view_) {
        return false;
    }
    CPortWnd* view = view_.get();
    QMetaObject::invokeMethod(
        view, [view, call = std::move(call)] { call(*view); }, Qt::QueuedConnection);
    return true;
}

void CPortThread::run() {
    exec();
    std::unique_ptr<CPortWnd> view;
    {
        std::lock_guard lock(mutex_);
        view = std::move(view_);
    }
    // The view belongs to this thread: its timer and session go here, before the frame learns
    // that the thread has ended.
    view.reset();
    if (platform::EventHandle ended = PortThreadEndedEvent()) {
        ended->Set();
    }
}
