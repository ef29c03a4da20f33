#include "core/EpollConnections.h"

#include <QAbstractSocket>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace core {

namespace {

constexpr int kEventsPerPass = 2048;
constexpr std::size_t kReadChunk = 64 * 1024;
constexpr quint32 kReadEvents = EPOLLIN | EPOLLRDHUP;

bool IsPeerGone(int err) { return err == ECONNRESET || err == EPIPE; }

}  // namespace

// ---------------------------------------------------------------- EpollConnection

EpollConnection::EpollConnection(EpollConnections* owner, int fd, quint64 serial, QObject* parent)
    : QObject(parent), owner_(owner), fd_(fd), serial_(serial) {}

EpollConnection::~EpollConnection() { abort(); }

void EpollConnection::abort() {
    if (fd_ < 0) return;
    owner_->forget(this);
    ::close(fd_);
    fd_ = -1;
    out_.clear();
    outPos_ = 0;
    watchingOut_ = false;
}

// Sends data[from..] without blocking. Returns how far it got; *err is set when
// the connection failed (0 when the socket buffer is merely full or all went out).
static qsizetype SendFrom(int fd, const QByteArray& data, qsizetype from, int* err) {
    *err = 0;
    while (from < data.size()) {
        const ssize_t n = ::send(fd, data.constData() + from, static_cast<size_t>(data.size() - from),
                                 MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            from += n;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        *err = n < 0 ? errno : EPIPE;
        break;
    }
    return from;
}

void EpollConnection::write(const QByteArray& data) {
    if (!isConnected() || data.isEmpty()) return;
    if (!out_.isEmpty()) {   // earlier bytes still wait: keep the order
        out_.append(data);
        return;
    }
    int err;
    const qsizetype sent = SendFrom(fd_, data, 0, &err);
    if (err) {
        failLater(err);   // reported from the event loop, never from inside the caller's own call
        return;
    }
    if (sent == data.size()) return;
    out_ = data.mid(sent);
    outPos_ = 0;
    owner_->watchOutput(this, true);
}

void EpollConnection::flushOutput() {
    int err;
    outPos_ = SendFrom(fd_, out_, outPos_, &err);
    if (err) {
        failLater(err);
        return;
    }
    if (outPos_ < out_.size()) return;
    out_.clear();
    outPos_ = 0;
    owner_->watchOutput(this, false);
}

void EpollConnection::failLater(int err) {
    if (failed_) return;
    failed_ = true;
    out_.clear();
    outPos_ = 0;
    if (watchingOut_) owner_->watchOutput(this, false);
    QTimer::singleShot(0, this, [this, err] { owner_->fail(this, err); });
}

// --------------------------------------------------------------- EpollConnections

EpollConnections::EpollConnections(QObject* parent) : QObject(parent) {
    epfd_ = ::epoll_create1(EPOLL_CLOEXEC);
    if (epfd_ < 0) return;
    notifier_ = new QSocketNotifier(epfd_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &EpollConnections::onReady);
}

EpollConnections::~EpollConnections() {
    // Connections still alive lose their watcher: close them now.
    const QList<EpollConnection*> left = live_.values();
    for (EpollConnection* c : left) c->abort();
    delete notifier_;
    notifier_ = nullptr;
    if (epfd_ >= 0) ::close(epfd_);
}

EpollConnection* EpollConnections::adopt(int fd, QObject* parent) {
    if (epfd_ < 0 || fd < 0) return nullptr;
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) return nullptr;
    const quint64 serial = nextSerial_++;
    epoll_event ev{};
    ev.events = kReadEvents;
    ev.data.u64 = serial;
    if (::epoll_ctl(epfd_, EPOLL_CTL_ADD, fd, &ev) < 0) return nullptr;
    auto* c = new EpollConnection(this, fd, serial, parent);
    live_.insert(serial, c);
    return c;
}

void EpollConnections::watchOutput(EpollConnection* c, bool on) {
    if (c->fd_ < 0 || c->watchingOut_ == on) return;
    epoll_event ev{};
    ev.events = on ? (kReadEvents | EPOLLOUT) : kReadEvents;
    ev.data.u64 = c->serial_;
    if (::epoll_ctl(epfd_, EPOLL_CTL_MOD, c->fd_, &ev) == 0) c->watchingOut_ = on;
}

void EpollConnections::forget(EpollConnection* c) {
    live_.remove(c->serial_);
    if (epfd_ >= 0 && c->fd_ >= 0) ::epoll_ctl(epfd_, EPOLL_CTL_DEL, c->fd_, nullptr);
}

void EpollConnections::fail(EpollConnection* c, int err) {
    if (c->fd_ < 0) return;   // already closed by its owner
    QPointer<EpollConnection> guard(c);
    if (IsPeerGone(err)) {
        if (handlers_.closed) handlers_.closed(c);
    } else if (handlers_.error) {
        handlers_.error(c, static_cast<int>(QAbstractSocket::NetworkError),
                        QString::fromLocal8Bit(std::strerror(err)));
    }
    if (guard && c->fd_ >= 0) c->abort();
}

void EpollConnections::onReady() {
    epoll_event events[kEventsPerPass];
    int n;
    do {
        n = ::epoll_wait(epfd_, events, kEventsPerPass, 0);
    } while (n < 0 && errno == EINTR);
    for (int k = 0; k < n; ++k) {
        // A handler may have closed any connection: look each one up afresh.
        EpollConnection* c = live_.value(events[k].data.u64);
        if (c) handle(c, events[k].events);
    }
}

void EpollConnections::handle(EpollConnection* c, quint32 events) {
    QPointer<EpollConnection> guard(c);
    if ((events & EPOLLOUT) && !c->failed_) c->flushOutput();
    if (!(events & (EPOLLIN | EPOLLRDHUP | EPOLLHUP | EPOLLERR))) return;
    if (c->failed_) return;   // its failure is reported from the event loop

    QByteArray data;
    bool closed = false;
    int err = 0;
    char buf[kReadChunk];
    for (;;) {
        const ssize_t n = ::recv(c->fd_, buf, sizeof buf, 0);
        if (n > 0) {
            data.append(buf, static_cast<qsizetype>(n));
            // Level-triggered: a short read with no close pending leaves the rest for
            // the next pass, which the kernel reports again.
            if (static_cast<std::size_t>(n) < sizeof buf && !(events & (EPOLLRDHUP | EPOLLHUP | EPOLLERR)))
                break;
            continue;
        }
        if (n == 0) {
            closed = true;
            break;
        }
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) break;
        if (IsPeerGone(errno)) closed = true;
        else err = errno;
        break;
    }
    if (!closed && !err && (events & (EPOLLERR | EPOLLHUP))) {
        int soErr = 0;
        socklen_t len = sizeof soErr;
        if ((events & EPOLLERR) && ::getsockopt(c->fd_, SOL_SOCKET, SO_ERROR, &soErr, &len) == 0 && soErr &&
            !IsPeerGone(soErr))
            err = soErr;
        else
            closed = true;
    }

    if (!data.isEmpty() && handlers_.data) handlers_.data(c, data);
    if (!guard || c->fd_ < 0) return;
    if (err) {
        c->failed_ = true;
        if (handlers_.error)
            handlers_.error(c, static_cast<int>(QAbstractSocket::NetworkError),
                            QString::fromLocal8Bit(std::strerror(err)));
    } else if (closed) {
        c->failed_ = true;
        if (handlers_.closed) handlers_.closed(c);
    } else {
        return;
    }
    // Reported once: a connection its owner kept is closed here all the same.
    if (guard && c->fd_ >= 0) c->abort();
}

}  // namespace core
