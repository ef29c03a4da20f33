#pragma once
// The serial receive path: turns the bytes that arrive on the main window's port
// into blocks for DealData_Infrared.
//
// A burst is handed on once, 0.6 s after its last byte (a precise single-shot timer
// restarted on every arrival, on the monotonic clock), or at the latest as soon as
// 32,767 bytes have gathered. No event loop is nested. A device that disappears
// (read or resource error) closes the port at once and the operator is told.
#include <QObject>
#include <QPointer>
#include <QSerialPort>
#include <QTimer>

namespace serial {

inline constexpr int kQuietMs = 600;
inline constexpr int kMaxBlock = 32767;   // a block's length is a 16-bit count

class ReceivePath : public QObject {
    Q_OBJECT
public:
    explicit ReceivePath(QSerialPort* port);
    QSerialPort* port() const { return port_; }
    // Forgets a burst that is being gathered (the console discards unread bytes
    // before each request).
    void discardPending();

private:
    void bytesArrived();
    void quietReached();
    void deviceError(QSerialPort::SerialPortError error);
    void deliver(const QByteArray& block);

    QPointer<QSerialPort> port_;
    QTimer quiet_;
    bool closing_ = false;
};

// The receive threshold of the main window's port. It starts at 0: no receive
// event is raised and bytes that arrive are left for the next request to discard
// (they are taken out and dropped at once, which nobody can tell apart). The
// serial console sets it to 1 before it writes its first request, and it keeps
// that value for the rest of the run, whether the port is closed and reopened or
// not. Only while it is 1 does a burst reach DealData_Infrared.
int RThreshold();
void SetRThreshold(int threshold);

// The receive path attached to the current port, if any.
ReceivePath* CurrentReceivePath();

// The text the console's status label shows when the device has gone.
QString PortLostText();

}  // namespace serial
