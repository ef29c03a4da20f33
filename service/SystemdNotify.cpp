#include "SystemdNotify.h"

#include <QTimer>

#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace service {

SystemdNotify::SystemdNotify(QObject* parent) : QObject(parent) {
    socket_ = qgetenv("NOTIFY_SOCKET");
    bool ok = false;
    const qint64 usec = qEnvironmentVariable("WATCHDOG_USEC").toLongLong(&ok);
    // WATCHDOG_PID, when set, names the process the watchdog is meant for.
    const QByteArray pid = qgetenv("WATCHDOG_PID");
    if (ok && usec > 0 && (pid.isEmpty() || pid.toLongLong() == ::getpid())) watchdogUsec_ = usec;
}

bool SystemdNotify::send(const QByteArray& state) const {
    if (socket_.isEmpty() || socket_.size() >= static_cast<qsizetype>(sizeof(sockaddr_un::sun_path))) return false;
    if (socket_[0] != '/' && socket_[0] != '@') return false;
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, socket_.constData(), static_cast<size_t>(socket_.size()));
    if (socket_[0] == '@') addr.sun_path[0] = '\0';   // an abstract name
    const socklen_t len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + static_cast<size_t>(socket_.size()));
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    const ssize_t n = ::sendto(fd, state.constData(), static_cast<size_t>(state.size()), MSG_NOSIGNAL,
                               reinterpret_cast<const sockaddr*>(&addr), len);
    ::close(fd);
    return n == state.size();
}

void SystemdNotify::startWatchdog() {
    if (watchdogUsec_ <= 0 || watchdog_) return;
    watchdog_ = new QTimer(this);
    watchdog_->setInterval(static_cast<int>(qBound<qint64>(qint64(1), watchdogUsec_ / 2000, qint64(1) << 30)));
    connect(watchdog_, &QTimer::timeout, this, [this] { send("WATCHDOG=1"); });
    watchdog_->start();
    send("WATCHDOG=1");
}

}  // namespace service
