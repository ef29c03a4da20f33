// The data-centre engines stand alone: no window, no widget library, a real
// simulated terminal on loopback. A terminal registers, uploads and ends its
// upload; the read queued in sleep mode leaves at the upload end and its
// response comes back as fields.
#include <QProcess>
#include <QSignalSpy>
#include <QtTest>


#include "core/TcpDataCentre.h"
#include "core/UdpDataCentre.h"
#include "protocol/Catalogue.h"
#include "protocol/Frame.h"

namespace {

const QString kBarCode = QStringLiteral("2012345678901");

// The simulator's first terminal: a fixed clock, four records of its day curve.
QProcess* StartTerminal(const QString& channel, quint16 port, QObject* parent) {
    auto* p = new QProcess(parent);
    p->start(QStringLiteral(HT6630_TERMINAL),
             {channel, QStringLiteral("127.0.0.1:%1").arg(port), QStringLiteral("--once"), QStringLiteral("--records"),
              QStringLiteral("4"), QStringLiteral("--duration"), QStringLiteral("15"), QStringLiteral("--quiet"),
              QStringLiteral("--set"), QStringLiteral("clock=240517083000"), QStringLiteral("--set"),
              QStringLiteral("clock-runs=0")});
    return p;
}

// The read of all parameters, queued while the data centre is in sleep mode.
void QueueReadAll(core::DataCentre& dc) {
    const ht6630::PayloadResult r = ht6630::BuildPayload(ht6630::Op::ReadAll, {});
    QVERIFY(!r.failure);
    const ht6630::CatalogueEntry& e = ht6630::Entry(ht6630::Op::ReadAll);
    const std::string addr = ht6630::RequestAddress(e.op, kBarCode.toStdString());
    const ht6630::Bytes f = ht6630::MakeFrame_Request(e.functionCode, addr, int(r.payload.size()), r.payload);
    dc.session().pending.name = QString::fromUtf8(e.name.data(), qsizetype(e.name.size()));
    dc.setConfigMode(false);
    dc.submitRequest(e.op, QString::fromStdString(addr), QByteArray(reinterpret_cast<const char*>(f.data()), qsizetype(f.size())));
    QVERIFY(dc.pendingSetting());
}

void CheckUploadAndAnswer(QSignalSpy& uploads, QSignalSpy& fields, core::DataCentre& dc) {
    QTRY_COMPARE_WITH_TIMEOUT(uploads.count(), 1, 10000);
    const auto u = uploads.at(0).at(0).value<ht6630::RoomUpload>();
    QCOMPARE(QString::fromStdString(u.barCode), kBarCode);
    QCOMPARE(u.batteryCentivolts, 368);
    QCOMPARE(u.intervalMinutes, 15);
    QCOMPARE(int(u.records.size()), 4);
    // The newest record carries the upload time; each earlier one is 15 minutes older.
    // The first terminal's first four samples: 5.0 … 7.9 °C, 71.8 … 73.6 %.
    const char* times[] = {"2024-05-17T07:45:00", "2024-05-17T08:00:00", "2024-05-17T08:15:00", "2024-05-17T08:30:00"};
    const int temperatures[] = {50, 60, 70, 79};
    const int humidities[] = {718, 725, 731, 736};
    for (int k = 0; k < 4; ++k) {
        const ht6630::RoomRecord& r = u.records[std::size_t(k)];
        QCOMPARE(ht6630::IsoText(*r.time), std::string(times[k]));
        QCOMPARE(r.temperatureTenths, temperatures[k]);
        QCOMPARE(r.humidityTenths, humidities[k]);
    }
    // The queued read left at the upload end; its response is decoded into fields.
    QTRY_COMPARE_WITH_TIMEOUT(fields.count(), 1, 10000);
    const auto f = fields.at(0).at(0).value<ht6630::FieldValues>();
    QCOMPARE(*f.firmware, std::string("V1.05"));
    QCOMPARE(*f.acquisitionMinutes, std::string("15"));
    QCOMPARE(*f.heartbeatSeconds, std::string("60"));
    QVERIFY(!dc.pendingSetting());
}

}  // namespace

class TstCoreDataCentres : public QObject {
    Q_OBJECT
private slots:
    void tcpTerminalEndToEnd() {
        core::ConsoleSession session;
        session.localIp = QStringLiteral("127.0.0.1");
        core::TcpDataCentre dc(session);
        QSignalSpy online(&dc, &core::DataCentre::terminalOnline);
        QSignalSpy offline(&dc, &core::DataCentre::terminalOffline);
        QSignalSpy uploads(&dc, &core::DataCentre::roomUploadDecoded);
        QSignalSpy fields(&dc, &core::DataCentre::parametersDecoded);
        QSignalSpy status(&dc, &core::DataCentre::statusChanged);
        QVERIFY(!dc.start());
        QueueReadAll(dc);
        QCOMPARE(status.last().at(0).toString(), QStringLiteral("提示信息:准备读取室温采集终端配置参数。。。"));

        QProcess* terminal = StartTerminal(QStringLiteral("--tcp"), dc.listeningPort(), this);
        QTRY_COMPARE_WITH_TIMEOUT(online.count(), 1, 10000);
        QCOMPARE(online.at(0).at(0).toString(), kBarCode);
        QCOMPARE(online.at(0).at(1).toInt(), 1);
        QVERIFY(online.at(0).at(2).toString().startsWith(QStringLiteral("127.0.0.1:")));
        QCOMPARE(dc.onlineList().texts(), QStringList{kBarCode});
        CheckUploadAndAnswer(uploads, fields, dc);
        QTRY_COMPARE_WITH_TIMEOUT(status.last().at(0).toString(), QStringLiteral("提示信息:读取采集终端参数配置成功！"), 5000);

        terminal->kill();
        terminal->waitForFinished(3000);
        QTRY_COMPARE_WITH_TIMEOUT(offline.count(), 1, 5000);
        QCOMPARE(dc.offlineList().texts(), QStringList{kBarCode});
        QVERIFY(dc.onlineList().texts().isEmpty());
        dc.stop();
        QCOMPARE(dc.listeningPort(), quint16(0));
    }

    void udpTerminalEndToEnd() {
        core::ConsoleSession session;
        session.localIp = QStringLiteral("127.0.0.1");
        core::UdpDataCentre dc(session);
        QSignalSpy online(&dc, &core::DataCentre::terminalOnline);
        QSignalSpy uploads(&dc, &core::DataCentre::roomUploadDecoded);
        QSignalSpy fields(&dc, &core::DataCentre::parametersDecoded);
        QVERIFY(dc.start());
        QueueReadAll(dc);
        QProcess* terminal = StartTerminal(QStringLiteral("--udp"), dc.boundPort(), this);
        QTRY_VERIFY_WITH_TIMEOUT(online.count() >= 1, 10000);
        QCOMPARE(online.at(0).at(0).toString(), kBarCode);
        QVERIFY(online.at(0).at(2).toString().startsWith(QStringLiteral("127.0.0.1:")));
        CheckUploadAndAnswer(uploads, fields, dc);
        terminal->kill();
        terminal->waitForFinished(3000);
        dc.stop();
    }

    // An engine that goes away while replies wait in the session's queue is never touched.
    void engineGoneDuringTheReplyWait() {
        core::ConsoleSession session;
        session.localIp = QStringLiteral("127.0.0.1");
        auto* dc = new core::UdpDataCentre(session);
        QVERIFY(dc->start());
        QUdpSocket peer;
        QVERIFY(peer.bind(QHostAddress::LocalHost, 0));
        const ht6630::Bytes zeros{0, 0, 0};
        const ht6630::Bytes reg = ht6630::MakeFrame_Request(0x01, "0" + kBarCode.toStdString(), 3, zeros);
        peer.writeDatagram(reinterpret_cast<const char*>(reg.data()), qint64(reg.size()), QHostAddress::LocalHost,
                           dc->boundPort());
        QTRY_COMPARE_WITH_TIMEOUT(session.replyQueue.pending(), 1, 3000);
        delete dc;
        QTRY_COMPARE_WITH_TIMEOUT(session.replyQueue.pending(), 0, 3000);
        QVERIFY(!peer.hasPendingDatagrams());
    }
};

QTEST_GUILESS_MAIN(TstCoreDataCentres)
#include "tst_core_data_centres.moc"
