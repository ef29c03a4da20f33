#include "EpollEventDispatcher.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimerEvent>

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "core/MonotonicClock.h"

namespace core {

namespace {

constexpr int kReadyMax = 1024;   // descriptors taken from epoll per pass

}  // namespace

EpollEventDispatcher::EpollEventDispatcher(QObject* parent) : QAbstractEventDispatcher(parent) {
    epfd_ = ::epoll_create1(EPOLL_CLOEXEC);
    wakefd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (epfd_ < 0 || wakefd_ < 0) qFatal("EpollEventDispatcher: cannot create epoll or eventfd descriptors");
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.fd = wakefd_;
    ::epoll_ctl(epfd_, EPOLL_CTL_ADD, wakefd_, &ev);
}

EpollEventDispatcher::~EpollEventDispatcher() {
    ::close(wakefd_);
    ::close(epfd_);
}

// ---- socket notifiers ----------------------------------------------------------------

void EpollEventDispatcher::registerSocketNotifier(QSocketNotifier* notifier) {
    const int fd = static_cast<int>(notifier->socket());
    Watch& w = watches_[fd];
    QSocketNotifier** slot = notifier->type() == QSocketNotifier::Read    ? &w.read
                             : notifier->type() == QSocketNotifier::Write ? &w.write
                                                                          : &w.exception;
    if (*slot && *slot != notifier) qWarning("EpollEventDispatcher: a second notifier of one kind for socket %d", fd);
    *slot = notifier;
    updateWatch(fd, w);
}

void EpollEventDispatcher::unregisterSocketNotifier(QSocketNotifier* notifier) {
    const int fd = static_cast<int>(notifier->socket());
    const auto it = watches_.find(fd);
    if (it == watches_.end()) return;
    Watch& w = it->second;
    for (QSocketNotifier** slot : {&w.read, &w.write, &w.exception})
        if (*slot == notifier) *slot = nullptr;
    updateWatch(fd, w);
    if (!w.read && !w.write && !w.exception) watches_.erase(it);
}

void EpollEventDispatcher::updateWatch(int fd, Watch& w) {
    const std::uint32_t want = (w.read ? EPOLLIN : 0u) | (w.write ? EPOLLOUT : 0u) | (w.exception ? EPOLLPRI : 0u);
    if (want == w.events) return;
    epoll_event ev{};
    ev.events = want;
    ev.data.fd = fd;
    if (want == 0) {
        ::epoll_ctl(epfd_, EPOLL_CTL_DEL, fd, &ev);   // the descriptor may be closed already: epoll forgot it then
    } else if (w.events == 0) {
        if (::epoll_ctl(epfd_, EPOLL_CTL_ADD, fd, &ev) != 0 && errno == EEXIST) ::epoll_ctl(epfd_, EPOLL_CTL_MOD, fd, &ev);
    } else if (::epoll_ctl(epfd_, EPOLL_CTL_MOD, fd, &ev) != 0 && errno == ENOENT) {
        // Closed and the number given out again while still watched: watch the new one.
        ::epoll_ctl(epfd_, EPOLL_CTL_ADD, fd, &ev);
    }
    w.events = want;
}

// As Qt's own dispatcher: an error or hang-up wakes the reader and the writer, which
// then learn of it from the socket.
void EpollEventDispatcher::activate(int fd, std::uint32_t events) {
    QEvent act(QEvent::SockAct);
    const bool failed = events & (EPOLLERR | EPOLLHUP);
    const std::pair<std::uint32_t, QSocketNotifier* Watch::*> kinds[] = {
        {EPOLLIN | EPOLLRDHUP, &Watch::read}, {EPOLLOUT, &Watch::write}, {EPOLLPRI, &Watch::exception}};
    for (const auto& [mask, member] : kinds) {
        if (!(events & mask) && !(failed && member != &Watch::exception)) continue;
        // Looked up each time: the previous notifier's handler may have dropped this one.
        const auto it = watches_.find(fd);
        if (it == watches_.end()) return;
        QSocketNotifier* n = it->second.*member;
        if (n && n->isEnabled()) QCoreApplication::sendEvent(n, &act);
    }
}

// ---- timers ----------------------------------------------------------------------------

void EpollEventDispatcher::registerTimer(int timerId, qint64 interval, Qt::TimerType timerType, QObject* object) {
    Timer t;
    t.intervalMs = std::max<qint64>(interval, 0);
    t.type = timerType;
    t.object = object;
    t.dueNs = MonotonicNs() + t.intervalMs * 1'000'000;
    timers_[timerId] = t;
    due_.emplace(t.dueNs, timerId);
}

bool EpollEventDispatcher::unregisterTimer(int timerId) {
    const auto it = timers_.find(timerId);
    if (it == timers_.end()) return false;
    due_.erase({it->second.dueNs, timerId});
    timers_.erase(it);
    return true;
}

bool EpollEventDispatcher::unregisterTimers(QObject* object) {
    bool any = false;
    for (auto it = timers_.begin(); it != timers_.end();) {
        if (it->second.object != object) {
            ++it;
            continue;
        }
        due_.erase({it->second.dueNs, it->first});
        it = timers_.erase(it);
        any = true;
    }
    return any;
}

QList<QAbstractEventDispatcher::TimerInfo> EpollEventDispatcher::registeredTimers(QObject* object) const {
    QList<TimerInfo> list;
    for (const auto& [id, t] : timers_)
        if (t.object == object) list.append(TimerInfo(id, static_cast<int>(t.intervalMs), t.type));
    return list;
}

int EpollEventDispatcher::remainingTime(int timerId) {
    const auto it = timers_.find(timerId);
    if (it == timers_.end()) return -1;
    const qint64 leftNs = it->second.dueNs - MonotonicNs();
    return leftNs <= 0 ? 0 : static_cast<int>((leftNs + 999'999) / 1'000'000);
}

// Fires what is due now, each timer at most once a pass (a zero timer too). The next
// time is a whole interval after the time it was due, or after now when that has passed.
bool EpollEventDispatcher::activateTimers() {
    const qint64 now = MonotonicNs();
    std::vector<int> fire;
    for (auto it = due_.begin(); it != due_.end() && it->first <= now; ++it) fire.push_back(it->second);
    for (int id : fire) {
        auto it = timers_.find(id);
        if (it == timers_.end() || it->second.running) continue;   // gone, or inside its own event
        Timer& t = it->second;
        due_.erase({t.dueNs, id});
        const qint64 intervalNs = t.intervalMs * 1'000'000;
        t.dueNs += intervalNs;
        if (t.dueNs <= now) t.dueNs = now + intervalNs;
        due_.emplace(t.dueNs, id);
        t.running = true;
        QObject* object = t.object;
        QTimerEvent e(id);
        QCoreApplication::sendEvent(object, &e);
        it = timers_.find(id);   // the handler may have stopped it, or started others
        if (it != timers_.end()) it->second.running = false;
    }
    return !fire.empty();
}

int EpollEventDispatcher::waitMs() const {
    if (due_.empty()) return -1;
    const qint64 leftNs = due_.begin()->first - MonotonicNs();
    if (leftNs <= 0) return 0;
    return static_cast<int>(std::min<qint64>((leftNs + 999'999) / 1'000'000, 24 * 3600 * 1000));
}

// ---- the pass ------------------------------------------------------------------------

bool EpollEventDispatcher::processEvents(QEventLoop::ProcessEventsFlags flags) {
    interrupted_.store(false);
    emit awake();
    QCoreApplication::sendPostedEvents();
    if (interrupted_.load()) return false;

    // Posted events that arrive meanwhile wake the wait through wakeUp().
    const bool mayWait = flags.testFlag(QEventLoop::WaitForMoreEvents);
    const int timeout = mayWait ? waitMs() : 0;
    if (timeout != 0) emit aboutToBlock();
    epoll_event ready[kReadyMax];
    int n = ::epoll_wait(epfd_, ready, kReadyMax, timeout);
    if (n < 0) n = 0;   // EINTR: a signal; the next pass goes on
    emit awake();

    bool handled = false;
    std::vector<std::pair<int, std::uint32_t>> sockets;
    sockets.reserve(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        if (ready[i].data.fd == wakefd_) {
            eventfd_t drained;
            ::eventfd_read(wakefd_, &drained);
            handled = true;
        } else {
            const int fd = ready[i].data.fd;   // epoll_event is packed: copy before use
            const std::uint32_t events = ready[i].events;
            sockets.emplace_back(fd, events);
        }
    }
    if (!flags.testFlag(QEventLoop::ExcludeSocketNotifiers)) {
        for (const auto& [fd, events] : sockets) {
            if (interrupted_.load()) break;
            activate(fd, events);
            handled = true;
        }
    }
    if (!interrupted_.load() && !flags.testFlag(QEventLoop::X11ExcludeTimers) && activateTimers()) handled = true;
    return handled;
}

void EpollEventDispatcher::wakeUp() { ::eventfd_write(wakefd_, 1); }

void EpollEventDispatcher::interrupt() {
    interrupted_.store(true);
    wakeUp();
}

}  // namespace core
