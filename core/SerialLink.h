#pragma once
// The serial (infrared) link: the one serial port, which device each COM name
// stands for, the receive path and the request waiting for its response.
//
// A burst is handed on once, 0.6 s after its last byte (a precise single-shot
// timer restarted on every arrival, on the monotonic clock), or at the latest as
// soon as 32,767 bytes have gathered. No event loop is nested. A device that
// disappears (read or resource error) closes the port at once and portLost() tells.
//
// Bursts reach the judging only while the receive threshold is 1: it starts at 0
// (what arrives is taken out and dropped), the first request raises it and it
// stays 1 for the rest of the run, whether the port is closed and reopened or not.
// Once the serial console has claimed the channel ("Infrared"), each burst is
// judged against the session's pending operation.
#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QSerialPort>
#include <QTimer>

#include "core/ComPorts.h"
#include "core/ConsoleSession.h"
#include "protocol/SerialJudge.h"

namespace core {

inline constexpr int kQuietMs = 600;
inline constexpr int kMaxBlock = 32767;   // a block's length is a 16-bit count

// One request sent on the link: reports the judgement of the first burst that
// follows it, then goes away. A later request replaces it unreported.
class SerialRequest : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
signals:
    void judged(const QByteArray& block, const ht6630::SerialJudgement& judgement);
};

class SerialLink : public QObject {
    Q_OBJECT
public:
    explicit SerialLink(ConsoleSession& session, QObject* parent = nullptr);
    ~SerialLink() override;

    QSerialPort* port() { return &port_; }
    ComPortBinding& binding() { return binding_; }
    bool isOpen() const { return port_.isOpen(); }
    void close();

    // Reconfigures and opens the port on COM<number>'s device; false when any step fails.
    bool applySettings(int comNumber, const QString& baud, const QString& parityLetter, const QString& dataBits,
                       const QString& stopBits);

    int receiveThreshold() const { return threshold_; }
    void setReceiveThreshold(int threshold) { threshold_ = threshold; }

    // Sends a request frame: unread input, unsent output and a burst being gathered
    // are dropped, the threshold is raised, the frame is written. Null (nothing
    // written) when the port is not open.
    SerialRequest* send(const QByteArray& frame);

    // The text the console shows when the device has gone.
    static QString portLostText();

signals:
    void blockReceived(const QByteArray& block);   // every burst handed on
    void blockJudged(const QByteArray& block, const ht6630::SerialJudgement& judgement);
    void portLost();

private:
    void bytesArrived();
    void quietReached();
    void deviceError(QSerialPort::SerialPortError error);
    void deliver(const QByteArray& block);

    ConsoleSession& session_;
    QSerialPort port_;
    ComPortBinding binding_;
    QTimer quiet_;
    int threshold_ = 0;
    bool closing_ = false;
    QPointer<SerialRequest> request_;
};

}  // namespace core
