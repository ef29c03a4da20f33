// The service's INI configuration: values as read, and every refusal naming its key.
#include <QtTest>

#include "ServiceConfig.h"

using service::ParseServiceConfig;

class ServiceConfigTest : public QObject {
    Q_OBJECT
private slots:
    void everyKeyRead() {
        const auto r = ParseServiceConfig(QStringLiteral(
                                              "# comment\n"
                                              "[tcp]\nlisten = 127.0.0.1:9000\n"
                                              "[udp]\nlisten = [::1]:9001\n"
                                              "[dialogue]\nreply_delay_ms = 250\nmode = sleep\noverdue_after_s = 90\n"
                                              "[store]\npath = data/readings.db\nretention_days = 30\n"
                                              "[node]\nname = node-a\n"
                                              "[limits]\nconnections = 500\n"
                                              "[log]\nlevel = debug\n"
                                              "[mqtt]\nurl = mqtts://broker.example:8884\nca_file = /etc/ca.pem\n"
                                              "user = svc\npassword = \"p w\"\ncmd_timeout_ms = 1500\n"
                                              "discovery = homeassistant\ndiscovery_prefix = ha\n"
                                              "[metrics]\nlisten = 127.0.0.1:9630\n"),
                                          QStringLiteral("/var/lib/x"));
        QVERIFY2(r.config, qPrintable(r.error));
        const service::ServiceConfig& c = *r.config;
        QCOMPARE(c.tcp.host, QStringLiteral("127.0.0.1"));
        QCOMPARE(c.tcp.port, quint16(9000));
        QCOMPARE(c.udp.host, QStringLiteral("::1"));
        QCOMPARE(c.udp.port, quint16(9001));
        QCOMPARE(c.replyDelayMs, 250);
        QCOMPARE(c.configMode, false);
        QCOMPARE(c.storePath, QStringLiteral("/var/lib/x/data/readings.db"));
        QCOMPARE(c.retentionDays, 30);
        QCOMPARE(c.nodeName, QStringLiteral("node-a"));
        QCOMPARE(c.maxConnections, 500);
        QCOMPARE(c.logLevel, service::LogLevel::Debug);
        QCOMPARE(c.mqttHost, QStringLiteral("broker.example"));
        QCOMPARE(c.mqttPort, quint16(8884));
        QVERIFY(c.mqttTls);
        QCOMPARE(c.mqttPassword, QStringLiteral("p w"));
        QCOMPARE(c.mqttPrefix, QStringLiteral("ht6630"));
        QCOMPARE(c.cmdTimeoutMs, 1500);
        QCOMPARE(c.overdueAfterS, 90);
        QVERIFY(c.mqttDiscovery);
        QCOMPARE(c.mqttDiscoveryPrefix, QStringLiteral("ha"));
        QCOMPARE(c.metrics.host, QStringLiteral("127.0.0.1"));
        QCOMPARE(c.metrics.port, quint16(9630));
    }

    void defaults() {
        const auto r = ParseServiceConfig(QStringLiteral("[udp]\nlisten = 0.0.0.0:5000\n[tcp]\nlisten =\n"),
                                          QStringLiteral("/srv"));
        QVERIFY2(r.config, qPrintable(r.error));
        QVERIFY(!r.config->tcp.enabled());
        QCOMPARE(r.config->replyDelayMs, 1000);
        QVERIFY(r.config->configMode);
        QCOMPARE(r.config->maxConnections, 32767);
        QCOMPARE(r.config->storePath, QStringLiteral("/srv/readings.db"));
        QVERIFY(!r.config->nodeName.isEmpty());
        QVERIFY(r.config->mqttHost.isEmpty());
        QCOMPARE(r.config->cmdTimeoutMs, 30000);
        QCOMPARE(r.config->overdueAfterS, 0);
        QVERIFY(!r.config->mqttDiscovery);
        QCOMPARE(r.config->mqttDiscoveryPrefix, QStringLiteral("homeassistant"));
        QVERIFY(!r.config->metrics.enabled());
    }

    void refusals_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("error");
        const QString tcp = QStringLiteral("[tcp]\nlisten = 127.0.0.1:9000\n");
        QTest::newRow("unknown key") << tcp + "[tcp]\nport = 1\n" << "[tcp] port: unknown key";
        QTest::newRow("no port") << "[tcp]\nlisten = 127.0.0.1\n" << "[tcp] listen: expected ADDRESS:PORT";
        QTest::newRow("port range") << "[udp]\nlisten = 127.0.0.1:70000\n" << "[udp] listen: port must be";
        QTest::newRow("host name") << "[udp]\nlisten = localhost:7000\n" << "[udp] listen: \"localhost\" is no IP";
        QTest::newRow("mode") << tcp + "[dialogue]\nmode = fast\n" << "[dialogue] mode: must be configuration or sleep";
        QTest::newRow("delay") << tcp + "[dialogue]\nreply_delay_ms = -5\n" << "[dialogue] reply_delay_ms: must be";
        QTest::newRow("limit") << tcp + "[limits]\nconnections = 32768\n" << "[limits] connections: must be 1 to 32767";
        QTest::newRow("scheme") << tcp + "[mqtt]\nurl = http://h:1\n" << "[mqtt] url: must start with";
        QTest::newRow("ipv6 unbracketed") << tcp + "[mqtt]\nurl = mqtt://::1\n" << "[mqtt] url: an IPv6 address goes in brackets";
        QTest::newRow("ipv6 unclosed") << tcp + "[mqtt]\nurl = mqtt://[::1:1883\n" << "[mqtt] url: expected mqtt://[IPV6]:PORT";
        QTest::newRow("ipv6 port") << tcp + "[mqtt]\nurl = mqtt://[::1]:\n" << "[mqtt] url: port must be 1 to 65535";
        QTest::newRow("ca without tls") << tcp + "[mqtt]\nurl = mqtt://h:1\nca_file = a.pem\n" << "[mqtt] ca_file:";
        QTest::newRow("cert without tls") << tcp + "[mqtt]\nurl = mqtt://h:1\ncert_file = c.pem\nkey_file = k.pem\n"
                                          << "[mqtt] cert_file: only used with an mqtts:// url";
        QTest::newRow("key without cert") << tcp + "[mqtt]\nurl = mqtts://h:1\nkey_file = k.pem\n"
                                          << "[mqtt] key_file: needs [mqtt] cert_file";
        QTest::newRow("prefix") << tcp + "[mqtt]\nprefix = a/b\n" << "[mqtt] prefix: must be";
        QTest::newRow("cmd timeout") << tcp + "[mqtt]\ncmd_timeout_ms = 50\n" << "[mqtt] cmd_timeout_ms: must be 100 to 600000";
        QTest::newRow("overdue") << tcp + "[dialogue]\noverdue_after_s = 0\n" << "[dialogue] overdue_after_s: must be 1 to 86400";
        QTest::newRow("metrics") << tcp + "[metrics]\nlisten = 9630\n" << "[metrics] listen: expected ADDRESS:PORT";
        QTest::newRow("discovery") << tcp + "[mqtt]\nurl = mqtt://h:1\ndiscovery = hass\n"
                                   << "[mqtt] discovery: must be homeassistant or off";
        QTest::newRow("discovery without broker") << tcp + "[mqtt]\ndiscovery = homeassistant\n"
                                                  << "[mqtt] discovery: needs [mqtt] url";
        QTest::newRow("discovery prefix") << tcp + "[mqtt]\ndiscovery_prefix = ha/x\n" << "[mqtt] discovery_prefix: must be";
        QTest::newRow("twice") << tcp + "[tcp]\nlisten = 127.0.0.1:9001\n" << "[tcp] listen: given twice";
        QTest::newRow("nothing served") << "[store]\npath = x.db\n" << "[tcp] listen: neither";
        QTest::newRow("no equals") << tcp + "garbage\n" << "line 3: expected KEY = VALUE";
    }
    void refusals() {
        QFETCH(QString, text);
        QFETCH(QString, error);
        const auto r = ParseServiceConfig(text, QStringLiteral("/tmp"));
        QVERIFY(!r.config);
        QVERIFY2(r.error.startsWith(error), qPrintable(r.error));
    }

    void ipv6Brokers() {
        const auto a = ParseServiceConfig(QStringLiteral("[tcp]\nlisten = 127.0.0.1:9000\n[mqtt]\nurl = mqtt://[::1]:1884\n"),
                                          QStringLiteral("/tmp"));
        QVERIFY2(a.config, qPrintable(a.error));
        QCOMPARE(a.config->mqttHost, QStringLiteral("::1"));
        QCOMPARE(a.config->mqttPort, quint16(1884));
        const auto b = ParseServiceConfig(QStringLiteral("[tcp]\nlisten = 127.0.0.1:9000\n[mqtt]\nurl = mqtts://[fd00::5]\n"),
                                          QStringLiteral("/tmp"));
        QVERIFY2(b.config, qPrintable(b.error));
        QCOMPARE(b.config->mqttHost, QStringLiteral("fd00::5"));
        QCOMPARE(b.config->mqttPort, quint16(8883));
    }

    void restartOnlyKeys() {
        const auto a = ParseServiceConfig(QStringLiteral("[tcp]\nlisten = 127.0.0.1:9000\n"), QStringLiteral("/tmp"));
        const auto b = ParseServiceConfig(QStringLiteral("[tcp]\nlisten = 127.0.0.1:9001\n[dialogue]\nmode = sleep\n"
                                                         "reply_delay_ms = 10\noverdue_after_s = 60\n[mqtt]\nprefix = p\n"
                                                         "[metrics]\nlisten = 127.0.0.1:9630\n"),
                                          QStringLiteral("/tmp"));
        QVERIFY(a.config && b.config);
        QCOMPARE(service::RestartOnlyChanges(*a.config, *b.config),
                 (QStringList{QStringLiteral("[tcp] listen"), QStringLiteral("[mqtt]"), QStringLiteral("[metrics] listen")}));
    }
};

QTEST_APPLESS_MAIN(ServiceConfigTest)
#include "tst_service_config.moc"
