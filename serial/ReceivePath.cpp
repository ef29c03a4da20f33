#include "serial/ReceivePath.h"

#include "serial/FrmInfrared.h"
#include "shell/app/WindowHooks.h"
#include "shell/modDtu.h"

namespace serial {
namespace {
QPointer<ReceivePath>& Current() {
    static QPointer<ReceivePath> current;
    return current;
}
int& Threshold() {
    static int threshold = 0;
    return threshold;
}
}  // namespace

int RThreshold() { return Threshold(); }
void SetRThreshold(int threshold) { Threshold() = threshold; }

QString PortLostText() { return QStringLiteral("提示信息:串口已断开，请重新设置串口！"); }

ReceivePath* CurrentReceivePath() { return Current().data(); }

ReceivePath::ReceivePath(QSerialPort* port) : QObject(port), port_(port) {
    quiet_.setSingleShot(true);
    quiet_.setTimerType(Qt::PreciseTimer);
    quiet_.setInterval(kQuietMs);
    connect(&quiet_, &QTimer::timeout, this, &ReceivePath::quietReached);
    connect(port, &QSerialPort::readyRead, this, &ReceivePath::bytesArrived);
    connect(port, &QSerialPort::errorOccurred, this, &ReceivePath::deviceError);
    connect(port, &QSerialPort::aboutToClose, this, [this] { quiet_.stop(); });
}

void ReceivePath::discardPending() { quiet_.stop(); }

void ReceivePath::bytesArrived() {
    if (!port_ || !port_->isOpen()) return;
    if (Threshold() < 1) {
        // No receive event: what arrives is never handed on (the next request
        // discards it before it raises the threshold).
        port_->readAll();
        return;
    }
    // A burst never grows beyond what a 16-bit count can hold.
    while (port_ && port_->isOpen() && port_->bytesAvailable() >= kMaxBlock) {
        quiet_.stop();
        deliver(port_->read(kMaxBlock));
    }
    if (port_ && port_->isOpen() && port_->bytesAvailable() > 0) quiet_.start();   // restarts the 0.6 s
}

void ReceivePath::quietReached() {
    if (!port_) return;
    QByteArray block;
    if (port_->isOpen()) block = port_->read(kMaxBlock);
    deliver(block);
    if (port_ && port_->isOpen() && port_->bytesAvailable() > 0) quiet_.start();
}

void ReceivePath::deliver(const QByteArray& block) {
    modDtu::RecvBuf = block;
    modDtu::RecvLen = static_cast<qint16>(block.size());
    if (modDtu::RecvLen != 0 && modDtu::ChannelName == QLatin1String("Infrared")) DealData_Infrared();
}

void ReceivePath::deviceError(QSerialPort::SerialPortError error) {
    if (error != QSerialPort::ReadError && error != QSerialPort::ResourceError) return;
    if (closing_) return;
    closing_ = true;
    quiet_.stop();
    // Closed from the event loop, not from inside the port's own error report; the
    // guard above keeps the repeated reports until then from doing anything.
    QTimer::singleShot(0, this, [this] {
        closing_ = false;
        if (port_ && port_->isOpen()) {
            port_->close();
            NotifyPortLost();
        }
    });
}

}  // namespace serial

namespace serial {

void AttachReceivePath() {
    QSerialPort* port = modDtu::MSComm1();
    if (port == nullptr) return;
    if (Current() && Current()->port() == port) return;
    delete Current().data();
    Current() = new ReceivePath(port);
}

}  // namespace serial
