#pragma once

// Work handed to the window's thread from any other, done there one piece at a time, in order,
// also while a box's own event loop runs. Handed over through a queue under a lock of its own and
// a pipe that a QSocketNotifier watches: no Qt object is made on the other thread, so a thread
// checker sees every hand-over (Qt's own event queue hands its events over behind a lock that an
// uninstrumented Qt hides from it).

#include <QObject>

#include <deque>
#include <functional>
#include <mutex>

class QSocketNotifier;

class WindowQueue : public QObject {
public:
    explicit WindowQueue(QObject* parent = nullptr);
    ~WindowQueue() override;
    WindowQueue(const WindowQueue&) = delete;
    WindowQueue& operator=(const WindowQueue&) = delete;

    /// Queues `work` for the window's thread, never waiting for it; from any thread. False when
    /// it could not be queued: nothing would do it.
    bool post(std::function<void()> work);

private:
    void doOne();

    int wake_read_ = -1;
    int wake_write_ = -1;
    QSocketNotifier* notifier_ = nullptr;
    std::mutex mutex_;
    std::deque<std::function<void()>> queue_; // under mutex_
};
