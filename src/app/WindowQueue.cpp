#include "app/WindowQueue.h"

#include <QSocketNotifier>

#include <fcntl.h>
#include <unistd.h>

WindowQueue::WindowQueue(QObject* parent) : QObject(parent) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
        return; // post then refuses: a run says so and stops
    wake_read_ = ends[0];
    wake_write_ = ends[1];
    notifier_ = new QSocketNotifier(wake_read_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &WindowQueue::doOne);
}

WindowQueue::~WindowQueue() {
    delete notifier_;
    if (wake_read_ >= 0)
        ::close(wake_read_);
    if (wake_write_ >= 0)
        ::close(wake_write_);
}

bool WindowQueue::post(std::function<void()> work) {
    const std::lock_guard lock(mutex_);
    if (wake_write_ < 0)
        return false;
    // One byte a piece of work: the notifier fires as long as some are left.
    const char byte = 0;
    if (::write(wake_write_, &byte, 1) != 1)
        return false; // the pipe is full: the window's thread has stopped taking work
    queue_.push_back(std::move(work));
    return true;
}

void WindowQueue::doOne() {
    char byte = 0;
    if (::read(wake_read_, &byte, 1) != 1)
        return;
    std::function<void()> work;
    {
        const std::lock_guard lock(mutex_);
        if (queue_.empty())
            return;
        work = std::move(queue_.front());
        queue_.pop_front();
    }
    // A piece may show a box whose own event loop does the next ones meanwhile.
    work();
}
