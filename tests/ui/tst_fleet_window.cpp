// The fleet window at 20,000 terminals, against a real mosquitto on a free loopback
// port: their retained status and state (published here through core::MqttConnection)
// are all listed, in List1 and tblFleet, within seconds of the connection; the table
// sorts numbers as numbers and filters; a status going offline moves its terminal to List2.
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QTableView>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include "core/FleetClient.h"
#include "core/MqttConnection.h"
#include "ui/FleetModel.h"
#include "ui/FleetWindow.h"

namespace {

constexpr int kTerminals = 20'000;

QString Bar(int i) { return QString::number(2000000000000LL + i); }

QByteArray Json(const QJsonObject& o) { return QJsonDocument(o).toJson(QJsonDocument::Compact); }

}  // namespace

class TstFleetWindow : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        port_ = probe.serverPort();
        probe.close();
        QFile conf(dir_.filePath("mosquitto.conf"));
        QVERIFY(conf.open(QIODevice::WriteOnly));
        // A queue per client that holds the fleet's retained status and state (docs/deployment.md).
        conf.write(QStringLiteral("listener %1 127.0.0.1\nallow_anonymous true\npersistence false\n"
                                  "max_queued_messages 100000\n").arg(port_).toUtf8());
        conf.close();
        broker_.start(QStringLiteral("mosquitto"), {QStringLiteral("-c"), conf.fileName()});
        QVERIFY(broker_.waitForStarted(5000));
        QTRY_VERIFY_WITH_TIMEOUT(
            [this] {
                QTcpSocket s;
                s.connectToHost(QHostAddress::LocalHost, port_);
                return s.waitForConnected(200);
            }(),
            5000);
    }

    void cleanupTestCase() {
        broker_.kill();
        broker_.waitForFinished(5000);
    }

    void twentyThousandTerminalsListedSortedAndFiltered() {
        // The fleet as the nodes leave it on the broker: every terminal's retained status and state.
        core::MqttSettings s;
        s.host = QStringLiteral("127.0.0.1");
        s.port = port_;
        s.maxInflight = 1000;
        core::MqttConnection nodes(s);
        QVERIFY(nodes.start(nullptr));
        QTRY_VERIFY_WITH_TIMEOUT(nodes.isConnected(), 5000);
        for (int i = 0; i < kTerminals; ++i) {
            const QString node = i % 2 ? QStringLiteral("n2") : QStringLiteral("n1");
            nodes.publish(QStringLiteral("f/%1/status").arg(Bar(i)).toUtf8(),
                          Json({{"online", i % 10 != 0}, {"node", node}, {"channel", "tcp"},
                                {"address", "127.0.0.1:40000"}, {"since", "2026-12-11T08:00:00"}}),
                          true, 1);
            nodes.publish(QStringLiteral("f/%1/state").arg(Bar(i)).toUtf8(),
                          Json({{"barcode", Bar(i)}, {"temperature", (i % 400) / 10.0}, {"humidity", 45.6},
                                {"battery", 3.68}, {"node", node}, {"time", "2026-12-11T08:00:00"},
                                {"received", "2026-12-11T08:00:05"}}),
                          true, 1);
        }
        QTRY_VERIFY_WITH_TIMEOUT(nodes.inFlight() == 0, 60000);

        core::FleetClient client;
        FleetWindow w(client, dir_.filePath("console.ini"));
        w.findChild<QLineEdit*>(QStringLiteral("txtBrokerUrl"))->setText(QStringLiteral("mqtt://127.0.0.1:%1").arg(port_));
        w.findChild<QLineEdit*>(QStringLiteral("txtPrefix"))->setText(QStringLiteral("f"));
        auto* List1 = w.findChild<QListWidget*>(QStringLiteral("List1"));
        auto* List2 = w.findChild<QListWidget*>(QStringLiteral("List2"));
        auto* table = w.findChild<QTableView*>(QStringLiteral("tblFleet"));
        QElapsedTimer clock;
        clock.start();
        w.cmdConnect_Click();
        QTRY_VERIFY_WITH_TIMEOUT(table->model()->rowCount() == kTerminals && List1->count() + List2->count() == kTerminals,
                                 20000);
        const qint64 listedMs = clock.elapsed();
        qInfo("20,000 terminals listed %lld ms after the click", listedMs);
        QVERIFY2(listedMs < 10000, qPrintable(QString::number(listedMs)));
        QCOMPARE(List2->count(), kTerminals / 10);
        // Every state as well (a broker sends the retained messages in an order of its own).
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                for (int row = 0; row < client.terminalCount(); ++row)
                    if (!client.terminal(row).temperature) return false;
                return true;
            }(),
            5000);
        QCOMPARE(*client.terminal(client.rowOf(Bar(kTerminals - 1))).temperature, 39.9);
        w.model()->refresh();

        // Temperatures sort as numbers: 39.9 is the highest, not "9.9".
        table->sortByColumn(FleetModel::Temperature, Qt::DescendingOrder);
        QCOMPARE(table->model()->index(0, FleetModel::Temperature).data().toString(), QStringLiteral("39.9"));
        w.findChild<QLineEdit*>(QStringLiteral("txtFilter"))->setText(Bar(12345));
        QCOMPARE(table->model()->rowCount(), 1);
        QCOMPARE(table->model()->index(0, FleetModel::Node).data().toString(), QStringLiteral("n2"));

        // A terminal going offline moves to List2 once.
        nodes.publish(QStringLiteral("f/%1/status").arg(Bar(12345)).toUtf8(),
                      Json({{"online", false}, {"node", "n2"}, {"channel", "tcp"}, {"address", ""}, {"since", "2026-12-11T09:00:00"}}),
                      true, 1);
        QTRY_COMPARE_WITH_TIMEOUT(List2->count(), kTerminals / 10 + 1, 5000);
        QCOMPARE(List1->findItems(Bar(12345), Qt::MatchExactly).size(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(table->model()->index(0, FleetModel::Online).data().toString(), QStringLiteral("离线"), 5000);
    }

private:
    core::MqttLibrary mqtt_;
    QTemporaryDir dir_;
    quint16 port_ = 0;
    QProcess broker_;
};

QTEST_MAIN(TstFleetWindow)
#include "tst_fleet_window.moc"
