#pragma once
// The data-centre service's settings, read from an INI file. Parsing and checking
// live here, apart from the program, so that every rule can be tested on text.
#include <QString>

#include <optional>

namespace service {

enum class LogLevel { Debug = 7, Info = 6, Warning = 4, Error = 3 };

// How room-temperature readings reach the broker: one message per upload holding its
// records (<prefix>/<barcode>/readings, and the newest as the retained .../state), one
// message per record (.../reading, as before), or both.
enum class ReadingTopics { Upload, Each, Both };

struct Listen {
    QString host;        // empty when the channel is off
    quint16 port = 0;
    bool enabled() const { return !host.isEmpty(); }
};

struct ServiceConfig {
    Listen tcp;
    Listen udp;
    int replyDelayMs = 1000;
    bool configMode = true;          // the upload acknowledgement's byte: 01 configuration, 00 sleep
    QString storePath = QStringLiteral("readings.db");
    int retentionDays = 0;           // 0 keeps every reading
    QString nodeName;                // default: the host name
    int maxConnections = 32767;
    int udpOfflineAfterS = 300;      // a UDP terminal silent this long is offline; 0: never
    int overdueAfterS = 0;           // a terminal silent this long is overdue; 0: three of its heart-beat intervals
    LogLevel logLevel = LogLevel::Info;
    // MQTT: off while url is empty.
    QString mqttHost;
    quint16 mqttPort = 0;
    bool mqttTls = false;
    QString mqttCaFile;
    QString mqttCertFile;   // a client certificate and its key (not encrypted), with mqtts://
    QString mqttKeyFile;
    QString mqttUser;
    QString mqttPassword;
    QString mqttPrefix = QStringLiteral("ht6630");
    ReadingTopics mqttReadings = ReadingTopics::Upload;
    int cmdTimeoutMs = 30000;        // a sent cmd request's wait for its response
    // Home Assistant MQTT discovery: a device with three sensors per terminal.
    bool mqttDiscovery = false;
    QString mqttDiscoveryPrefix = QStringLiteral("homeassistant");
    // GET /metrics in the Prometheus text format: off while the host is empty.
    Listen metrics;
};

struct ConfigResult {
    std::optional<ServiceConfig> config;
    QString error;   // "[section] key: reason" (or "line N: reason") when config is empty
};

// Parses INI text. Relative store paths are taken relative to `baseDir`.
ConfigResult ParseServiceConfig(const QString& text, const QString& baseDir);
// Reads and parses a file; an unreadable file is an error too.
ConfigResult LoadServiceConfig(const QString& path);

// What differs between two configurations that only a restart applies, as key names.
QStringList RestartOnlyChanges(const ServiceConfig& before, const ServiceConfig& after);

}  // namespace service
