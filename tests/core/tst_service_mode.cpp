// The engines' service mode on loopback UDP: a request goes to the endpoint its
// terminal last sent from; the console sends to whoever sent last.
#include <QtTest>
#include <QNetworkDatagram>
#include <QUdpSocket>

#include "core/ConsoleSession.h"
#include "core/UdpDataCentre.h"
#include "protocol/Frame.h"

namespace {
const std::string kA = "2012345678901";
const std::string kB = "2012345678902";

QByteArray Registration(const std::string& barCode) {
    const ht6630::Bytes f = ht6630::MakeFrame_Request(0x01, "0" + barCode, 0, {});
    return QByteArray(reinterpret_cast<const char*>(f.data()), static_cast<qsizetype>(f.size()));
}
}  // namespace

class TstServiceMode : public QObject {
    Q_OBJECT
private:
    // Two terminals register in turn (A, then B); then a request for A is submitted.
    // Returns the sockets' received datagrams after the request.
    void run(bool serviceMode, QByteArray* atA, QByteArray* atB) {
        core::ConsoleSession session;
        session.localIp = QStringLiteral("127.0.0.1");
        session.localPort = 0;
        core::UdpDataCentre dc(session);
        dc.setServiceMode(serviceMode);
        dc.setReplyDelay(0.0);
        QVERIFY(dc.start());
        QUdpSocket a, b;
        QVERIFY(a.bind(QHostAddress::LocalHost, 0));
        QVERIFY(b.bind(QHostAddress::LocalHost, 0));
        for (QUdpSocket* s : {&a, &b}) {
            s->writeDatagram(Registration(s == &a ? kA : kB), QHostAddress::LocalHost, dc.boundPort());
            QTRY_VERIFY_WITH_TIMEOUT(s->hasPendingDatagrams(), 5000);   // the registration reply
            s->receiveDatagram();
        }
        dc.setCurrentTerminal(QString::fromStdString(kA));
        const QByteArray request("QV-request-for-A");
        dc.submitRequest(ht6630::Op::ReadLive, QString::fromStdString("0" + kA), request);
        QTRY_VERIFY_WITH_TIMEOUT(a.hasPendingDatagrams() || b.hasPendingDatagrams(), 5000);
        if (a.hasPendingDatagrams()) *atA = a.receiveDatagram().data();
        if (b.hasPendingDatagrams()) *atB = b.receiveDatagram().data();
    }

private slots:
    void requestGoesToItsTerminalsEndpoint() {
        QByteArray atA, atB;
        run(true, &atA, &atB);
        if (QTest::currentTestFailed()) return;
        QCOMPARE(atA, QByteArray("QV-request-for-A"));
        QVERIFY(atB.isEmpty());
    }

    void consoleSendsToTheLastSender() {
        QByteArray atA, atB;
        run(false, &atA, &atB);
        if (QTest::currentTestFailed()) return;
        QVERIFY(atA.isEmpty());
        QCOMPARE(atB, QByteArray("QV-request-for-A"));
    }
};

QTEST_GUILESS_MAIN(TstServiceMode)
#include "tst_service_mode.moc"
