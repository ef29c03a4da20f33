// A reading's and an upload's MQTT payloads, written out directly: byte for byte what
// QJsonDocument makes of the same object, escaping and unusual numbers included.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include <cmath>
#include <limits>

#include "MqttPayloads.h"

namespace {
QByteArray ByDocument(const core::PublishedReading& r, const QString& node) {
    QJsonObject o{{QStringLiteral("barcode"), r.barCode},     {QStringLiteral("time"), r.time},
                  {QStringLiteral("temperature"), r.temperature}, {QStringLiteral("humidity"), r.humidity},
                  {QStringLiteral("node"), node},               {QStringLiteral("received"), r.received}};
    if (r.battery) o.insert(QStringLiteral("battery"), *r.battery);
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

core::PublishedReading Reading(const QString& barCode, double t, double h, std::optional<double> battery) {
    core::PublishedReading r;
    r.id = 7;
    r.barCode = barCode;
    r.time = QStringLiteral("2026-12-10T07:45:00");
    r.received = QStringLiteral("2026-12-10T07:45:01");
    r.temperature = t;
    r.humidity = h;
    r.battery = battery;
    return r;
}
}  // namespace

class MqttPayloadsTest : public QObject {
    Q_OBJECT
private slots:
    void sameBytesAsTheDocument_data() {
        QTest::addColumn<QString>("barCode");
        QTest::addColumn<double>("temperature");
        QTest::addColumn<double>("humidity");
        QTest::addColumn<double>("battery");   // NaN: not known
        QTest::addColumn<QString>("node");
        const double none = std::numeric_limits<double>::quiet_NaN();
        QTest::newRow("typical") << "A0012345" << 21.5 << 45.3 << 3.6 << "node-a";
        QTest::newRow("no battery") << "A0012345" << 21.5 << 45.3 << none << "node-a";
        QTest::newRow("whole numbers") << "A1" << 21.0 << 100.0 << 3.0 << "n";
        QTest::newRow("below zero") << "A1" << -12.25 << 0.0 << 2.95 << "n";
        QTest::newRow("small and large") << "A1" << 1e-7 << 123456789.5 << 1e21 << "n";
        QTest::newRow("hundredths") << "A1" << 0.05 << 99.99 << 12.3 << "n";
        QTest::newRow("negative hundredths and zero") << "A1" << -0.07 << -0.0 << -40.0 << "n";
        QTest::newRow("float noise") << "A1" << double(45.37f) << 0.1 + 0.2 << 3.3 << "n";
        QTest::newRow("quote and backslash") << "A\"1\\" << 20.0 << 50.0 << none << "n";
        QTest::newRow("not ASCII") << "A1" << 20.0 << 50.0 << none << QString::fromUtf8("ñodo-°");
        QTest::newRow("control character") << "A\t1" << 20.0 << 50.0 << none << "n";
        QTest::newRow("infinite") << "A1" << std::numeric_limits<double>::infinity() << 50.0 << none << "n";
    }

    void sameBytesAsTheDocument() {
        QFETCH(QString, barCode);
        QFETCH(double, temperature);
        QFETCH(double, humidity);
        QFETCH(double, battery);
        QFETCH(QString, node);
        const auto r = Reading(barCode, temperature, humidity,
                               std::isnan(battery) ? std::nullopt : std::optional<double>(battery));
        QCOMPARE(service::ReadingPayload(r, node), ByDocument(r, node));
        // The same values as the records of one upload, the second without a battery.
        std::deque<core::PublishedReading> upload{r, r};
        upload[1].time = QStringLiteral("2026-12-10T08:00:00");
        upload[1].battery.reset();
        QJsonArray records;
        for (const auto& one : upload) {
            QJsonObject o = QJsonDocument::fromJson(ByDocument(one, node)).object();
            for (const char* key : {"barcode", "node", "received"}) o.remove(QLatin1String(key));
            records.append(o);
        }
        const QJsonObject whole{{QStringLiteral("barcode"), barCode}, {QStringLiteral("node"), node},
                                {QStringLiteral("readings"), records}, {QStringLiteral("received"), r.received}};
        QCOMPARE(service::UploadPayload(upload.cbegin(), upload.cbegin() + 1, node),
                 QJsonDocument(whole).toJson(QJsonDocument::Compact));
    }

    // One message per upload: consecutive records of one terminal received together.
    void readingsOfOneUpload() {
        const auto a = Reading(QStringLiteral("A1"), 20, 50, 3.6);
        auto laterA = a;
        laterA.received = QStringLiteral("2026-12-10T08:15:01");
        auto b = a;
        b.barCode = QStringLiteral("B1");
        auto heat = a;
        heat.heat = std::make_shared<ht6630::HeatMeterRecord>();
        const std::deque<core::PublishedReading> log{a, a, a, laterA, b, heat, heat, a};
        const auto at = [&](int i) { return log.cbegin() + i; };
        QCOMPARE(service::ReadingsOfOneUpload(at(0), log.cend(), 256), 3);
        QCOMPARE(service::ReadingsOfOneUpload(at(0), log.cend(), 2), 2);
        QCOMPARE(service::ReadingsOfOneUpload(at(3), log.cend(), 256), 1);
        QCOMPARE(service::ReadingsOfOneUpload(at(4), log.cend(), 256), 1);
        QCOMPARE(service::ReadingsOfOneUpload(at(5), log.cend(), 256), 1);   // heat records go one by one
        QCOMPARE(service::ReadingsOfOneUpload(at(7), log.cend(), 256), 1);
        QCOMPARE(service::ReadingsOfOneUpload(log.cend(), log.cend(), 256), 0);
    }
};

QTEST_GUILESS_MAIN(MqttPayloadsTest)
#include "tst_mqtt_payloads.moc"
