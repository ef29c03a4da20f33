#pragma once
// The service manager's notification protocol without libsystemd: each state is
// one datagram to $NOTIFY_SOCKET (a path, or an abstract name written with a
// leading '@'). Without the variable every call does nothing.
#include <QByteArray>
#include <QObject>

class QTimer;

namespace service {

class SystemdNotify : public QObject {
public:
    // Reads NOTIFY_SOCKET and WATCHDOG_USEC from the environment.
    explicit SystemdNotify(QObject* parent = nullptr);

    bool send(const QByteArray& state) const;
    void ready() const { send("READY=1"); }
    void stopping() const { send("STOPPING=1"); }
    void reloading() const { send("RELOADING=1"); }
    // "WATCHDOG=1" at half the watchdog interval, when the manager asked for one.
    void startWatchdog();

private:
    QByteArray socket_;
    qint64 watchdogUsec_ = 0;
    QTimer* watchdog_ = nullptr;
};

}  // namespace service
