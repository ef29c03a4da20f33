#pragma once
// An event dispatcher on epoll, for a program that holds thousands of sockets each
// with its own notifiers and timers (the terminal fleet of the simulator). Qt's own
// dispatcher polls every socket notifier on every pass and keeps its timers in a
// list it walks on each start, both O(sockets) per event; here switching a notifier
// costs one epoll_ctl, a pass costs what is ready, and timers sit in an ordered set.
//
// Install it before the application object: QCoreApplication::setEventDispatcher().
// Main thread only (other threads keep Qt's); wakeUp() and interrupt() may come from
// any thread. All timers run as precise ones.
#include <QAbstractEventDispatcher>

#include <atomic>
#include <cstdint>
#include <set>
#include <unordered_map>
#include <utility>

class QSocketNotifier;

namespace core {

class EpollEventDispatcher : public QAbstractEventDispatcher {
public:
    explicit EpollEventDispatcher(QObject* parent = nullptr);
    ~EpollEventDispatcher() override;

    bool processEvents(QEventLoop::ProcessEventsFlags flags) override;

    void registerSocketNotifier(QSocketNotifier* notifier) override;
    void unregisterSocketNotifier(QSocketNotifier* notifier) override;

    void registerTimer(int timerId, qint64 interval, Qt::TimerType timerType, QObject* object) override;
    bool unregisterTimer(int timerId) override;
    bool unregisterTimers(QObject* object) override;
    QList<TimerInfo> registeredTimers(QObject* object) const override;
    int remainingTime(int timerId) override;

    void wakeUp() override;
    void interrupt() override;

private:
    struct Watch {
        QSocketNotifier* read = nullptr;
        QSocketNotifier* write = nullptr;
        QSocketNotifier* exception = nullptr;
        std::uint32_t events = 0;   // what epoll watches for this descriptor now
    };
    struct Timer {
        qint64 intervalMs = 0;
        Qt::TimerType type = Qt::CoarseTimer;
        QObject* object = nullptr;
        qint64 dueNs = 0;
        bool running = false;   // inside its own timer event: not fired again meanwhile
    };

    void updateWatch(int fd, Watch& w);
    void activate(int fd, std::uint32_t events);
    bool activateTimers();
    int waitMs() const;

    int epfd_ = -1;
    int wakefd_ = -1;
    std::atomic<bool> interrupted_{false};
    std::unordered_map<int, Watch> watches_;
    std::unordered_map<int, Timer> timers_;
    std::set<std::pair<qint64, int>> due_;   // (due time, timer id), earliest first
};

}  // namespace core
