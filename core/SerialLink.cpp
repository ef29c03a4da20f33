#include "core/SerialLink.h"

#include "core/LineSettings.h"

namespace core {

SerialLink::SerialLink(ConsoleSession& session, QObject* parent) : QObject(parent), session_(session) {
    port_.setObjectName(QStringLiteral("MSComm1"));
    quiet_.setSingleShot(true);
    quiet_.setTimerType(Qt::PreciseTimer);
    quiet_.setInterval(kQuietMs);
    connect(&quiet_, &QTimer::timeout, this, &SerialLink::quietReached);
    connect(&port_, &QSerialPort::readyRead, this, &SerialLink::bytesArrived);
    connect(&port_, &QSerialPort::errorOccurred, this, &SerialLink::deviceError);
    connect(&port_, &QSerialPort::aboutToClose, this, [this] { quiet_.stop(); });
}

SerialLink::~SerialLink() {
    quiet_.stop();
    if (port_.isOpen()) port_.close();
}

QString SerialLink::portLostText() { return QStringLiteral("提示信息:串口已断开，请重新设置串口！"); }

void SerialLink::close() {
    if (port_.isOpen()) port_.close();
}

bool SerialLink::applySettings(int comNumber, const QString& baud, const QString& parityLetter,
                               const QString& dataBits, const QString& stopBits) {
    return ApplyPortSettings(&port_, binding_.devicePath(comNumber), baud, parityLetter, dataBits, stopBits);
}

SerialRequest* SerialLink::send(const QByteArray& frame) {
    if (!port_.isOpen()) return nullptr;
    port_.clear(QSerialPort::AllDirections);   // unread input and unsent output
    quiet_.stop();                             // a burst being gathered is forgotten
    threshold_ = 1;                            // a receive event as soon as one byte waits
    if (request_) request_->deleteLater();
    request_ = new SerialRequest(this);
    port_.write(frame);
    return request_;
}

void SerialLink::bytesArrived() {
    if (!port_.isOpen()) return;
    if (threshold_ < 1) {
        // No receive event: what arrives is never handed on.
        port_.readAll();
        return;
    }
    // A burst never grows beyond what a 16-bit count can hold.
    while (port_.isOpen() && port_.bytesAvailable() >= kMaxBlock) {
        quiet_.stop();
        deliver(port_.read(kMaxBlock));
    }
    if (port_.isOpen() && port_.bytesAvailable() > 0) quiet_.start();   // restarts the 0.6 s
}

void SerialLink::quietReached() {
    QByteArray block;
    if (port_.isOpen()) block = port_.read(kMaxBlock);
    deliver(block);
    if (port_.isOpen() && port_.bytesAvailable() > 0) quiet_.start();
}

void SerialLink::deliver(const QByteArray& block) {
    if (block.isEmpty()) return;
    QPointer<SerialLink> self(this);
    emit blockReceived(block);
    if (!self || session_.channelName != QLatin1String("Infrared")) return;
    const QByteArray opName = session_.pending.name.toUtf8();
    const ht6630::SerialJudgement j = ht6630::JudgeSerialBlock(
        ht6630::ByteView(reinterpret_cast<const std::uint8_t*>(block.constData()), static_cast<size_t>(block.size())),
        std::string_view(opName.constData(), static_cast<size_t>(opName.size())), session_.pending.expectLen);
    if (QPointer<SerialRequest> request = request_) {
        request_.clear();
        emit request->judged(block, j);
        if (request) request->deleteLater();
    }
    if (self) emit blockJudged(block, j);
}

void SerialLink::deviceError(QSerialPort::SerialPortError error) {
    if (error != QSerialPort::ReadError && error != QSerialPort::ResourceError) return;
    if (closing_) return;
    closing_ = true;
    quiet_.stop();
    // Closed from the event loop, not from inside the port's own error report; the
    // guard above keeps the repeated reports until then from doing anything.
    QTimer::singleShot(0, this, [this] {
        closing_ = false;
        if (port_.isOpen()) {
            port_.close();
            emit portLost();
        }
    });
}

}  // namespace core
