#include "ServiceConfig.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QSet>
#include <QStringList>
#include <QSysInfo>

#include <functional>
#include <map>
#include <utility>

namespace service {

namespace {

using Setter = std::function<QString(ServiceConfig&, const QString&)>;   // returns the reason, or ""

bool ToInt(const QString& v, long long lo, long long hi, int* out) {
    bool ok = false;
    const long long n = v.toLongLong(&ok);
    if (!ok || n < lo || n > hi) return false;
    *out = static_cast<int>(n);
    return true;
}

QString ParseListen(const QString& v, Listen* out) {
    *out = Listen{};
    if (v.isEmpty()) return {};
    const int colon = v.lastIndexOf(QLatin1Char(':'));
    if (colon <= 0) return QStringLiteral("expected ADDRESS:PORT, got \"%1\"").arg(v);
    QString host = v.left(colon);
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']'))) host = host.mid(1, host.size() - 2);
    int port = 0;
    if (!ToInt(v.mid(colon + 1), 1, 65535, &port)) return QStringLiteral("port must be 1 to 65535 in \"%1\"").arg(v);
    if (QHostAddress(host).isNull()) return QStringLiteral("\"%1\" is no IP address").arg(host);
    out->host = host;
    out->port = static_cast<quint16>(port);
    return {};
}

// A topic level: no separators or wildcards.
bool TopicLevel(const QString& v) {
    return !v.isEmpty() && !v.contains(QLatin1Char('/')) && !v.contains(QLatin1Char('+')) &&
           !v.contains(QLatin1Char('#'));
}

const std::map<QString, Setter>& Keys() {
    static const std::map<QString, Setter> keys{
        {QStringLiteral("tcp/listen"), [](ServiceConfig& c, const QString& v) { return ParseListen(v, &c.tcp); }},
        {QStringLiteral("udp/listen"), [](ServiceConfig& c, const QString& v) { return ParseListen(v, &c.udp); }},
        {QStringLiteral("dialogue/reply_delay_ms"),
         [](ServiceConfig& c, const QString& v) {
             return ToInt(v, 0, 60000, &c.replyDelayMs) ? QString() : QStringLiteral("must be 0 to 60000 milliseconds");
         }},
        {QStringLiteral("dialogue/mode"),
         [](ServiceConfig& c, const QString& v) {
             if (v == QLatin1String("configuration")) c.configMode = true;
             else if (v == QLatin1String("sleep")) c.configMode = false;
             else return QStringLiteral("must be configuration or sleep");
             return QString();
         }},
        {QStringLiteral("store/path"),
         [](ServiceConfig& c, const QString& v) {
             c.storePath = v;
             return v.isEmpty() ? QStringLiteral("must name a file") : QString();
         }},
        {QStringLiteral("store/retention_days"),
         [](ServiceConfig& c, const QString& v) {
             return ToInt(v, 0, 36500, &c.retentionDays) ? QString() : QStringLiteral("must be 0 to 36500 days");
         }},
        {QStringLiteral("node/name"),
         [](ServiceConfig& c, const QString& v) {
             c.nodeName = v;
             return TopicLevel(v) ? QString() : QStringLiteral("must be non-empty, without '/', '+' or '#'");
         }},
        {QStringLiteral("udp/offline_after_s"),
         [](ServiceConfig& c, const QString& v) {
             return ToInt(v, 0, 86400, &c.udpOfflineAfterS) ? QString() : QStringLiteral("must be 0 to 86400 seconds");
         }},
        {QStringLiteral("dialogue/overdue_after_s"),
         [](ServiceConfig& c, const QString& v) {
             return ToInt(v, 1, 86400, &c.overdueAfterS) ? QString() : QStringLiteral("must be 1 to 86400 seconds");
         }},
        {QStringLiteral("metrics/listen"), [](ServiceConfig& c, const QString& v) { return ParseListen(v, &c.metrics); }},
        {QStringLiteral("mqtt/discovery"),
         [](ServiceConfig& c, const QString& v) {
             if (v == QLatin1String("homeassistant")) c.mqttDiscovery = true;
             else if (v == QLatin1String("off") || v.isEmpty()) c.mqttDiscovery = false;
             else return QStringLiteral("must be homeassistant or off");
             return QString();
         }},
        {QStringLiteral("mqtt/discovery_prefix"),
         [](ServiceConfig& c, const QString& v) {
             c.mqttDiscoveryPrefix = v;
             return TopicLevel(v) ? QString() : QStringLiteral("must be non-empty, without '/', '+' or '#'");
         }},
        {QStringLiteral("limits/connections"),
         [](ServiceConfig& c, const QString& v) {
             return ToInt(v, 1, 32767, &c.maxConnections) ? QString() : QStringLiteral("must be 1 to 32767");
         }},
        {QStringLiteral("log/level"),
         [](ServiceConfig& c, const QString& v) {
             if (v == QLatin1String("debug")) c.logLevel = LogLevel::Debug;
             else if (v == QLatin1String("info")) c.logLevel = LogLevel::Info;
             else if (v == QLatin1String("warning")) c.logLevel = LogLevel::Warning;
             else if (v == QLatin1String("error")) c.logLevel = LogLevel::Error;
             else return QStringLiteral("must be debug, info, warning or error");
             return QString();
         }},
        {QStringLiteral("mqtt/url"),
         [](ServiceConfig& c, const QString& v) {
             c.mqttHost.clear();
             if (v.isEmpty()) return QString();
             QString rest;
             if (v.startsWith(QLatin1String("mqtt://"))) {
                 c.mqttTls = false;
                 rest = v.mid(7);
             } else if (v.startsWith(QLatin1String("mqtts://"))) {
                 c.mqttTls = true;
                 rest = v.mid(8);
             } else {
                 return QStringLiteral("must start with mqtt:// or mqtts://");
             }
             int port = c.mqttTls ? 8883 : 1883;
             QString host, portText;
             if (rest.startsWith(QLatin1Char('['))) {   // an IPv6 address: mqtt://[::1]:1883
                 const int close = rest.indexOf(QLatin1Char(']'));
                 if (close < 0) return QStringLiteral("expected mqtt://[IPV6]:PORT");
                 host = rest.mid(1, close - 1);
                 const QString after = rest.mid(close + 1);
                 if (!after.isEmpty() && !after.startsWith(QLatin1Char(':')))
                     return QStringLiteral("expected mqtt://[IPV6]:PORT");
                 portText = after.mid(1);
                 if (after.isEmpty()) portText.clear();
                 else if (portText.isEmpty()) return QStringLiteral("port must be 1 to 65535");
             } else {
                 // Without brackets a second colon would be read as the port's.
                 if (rest.count(QLatin1Char(':')) > 1) return QStringLiteral("an IPv6 address goes in brackets: mqtt://[::1]:1883");
                 const int colon = rest.indexOf(QLatin1Char(':'));
                 host = colon < 0 ? rest : rest.left(colon);
                 if (colon >= 0) {
                     portText = rest.mid(colon + 1);
                     if (portText.isEmpty()) return QStringLiteral("port must be 1 to 65535");
                 }
             }
             if (!portText.isEmpty() && !ToInt(portText, 1, 65535, &port))
                 return QStringLiteral("port must be 1 to 65535");
             if (host.isEmpty() || host.contains(QLatin1Char('/'))) return QStringLiteral("expected mqtt://HOST:PORT");
             c.mqttHost = host;
             c.mqttPort = static_cast<quint16>(port);
             return QString();
         }},
        {QStringLiteral("mqtt/ca_file"), [](ServiceConfig& c, const QString& v) { c.mqttCaFile = v; return QString(); }},
        {QStringLiteral("mqtt/cert_file"), [](ServiceConfig& c, const QString& v) { c.mqttCertFile = v; return QString(); }},
        {QStringLiteral("mqtt/key_file"), [](ServiceConfig& c, const QString& v) { c.mqttKeyFile = v; return QString(); }},
        {QStringLiteral("mqtt/user"), [](ServiceConfig& c, const QString& v) { c.mqttUser = v; return QString(); }},
        {QStringLiteral("mqtt/password"),
         [](ServiceConfig& c, const QString& v) { c.mqttPassword = v; return QString(); }},
        {QStringLiteral("mqtt/cmd_timeout_ms"),
         [](ServiceConfig& c, const QString& v) {
             return ToInt(v, 100, 600000, &c.cmdTimeoutMs) ? QString() : QStringLiteral("must be 100 to 600000 milliseconds");
         }},
        {QStringLiteral("mqtt/readings"),
         [](ServiceConfig& c, const QString& v) {
             if (v == QLatin1String("upload")) c.mqttReadings = ReadingTopics::Upload;
             else if (v == QLatin1String("each")) c.mqttReadings = ReadingTopics::Each;
             else if (v == QLatin1String("both")) c.mqttReadings = ReadingTopics::Both;
             else return QStringLiteral("must be upload, each or both");
             return QString();
         }},
        {QStringLiteral("mqtt/prefix"),
         [](ServiceConfig& c, const QString& v) {
             c.mqttPrefix = v;
             return TopicLevel(v) ? QString() : QStringLiteral("must be non-empty, without '/', '+' or '#'");
         }},
    };
    return keys;
}

QString KeyName(const QString& key) {
    const int slash = key.indexOf(QLatin1Char('/'));
    return QLatin1Char('[') + key.left(slash) + QStringLiteral("] ") + key.mid(slash + 1);
}

ConfigResult Fail(const QString& text) { return ConfigResult{std::nullopt, text}; }

}  // namespace

ConfigResult ParseServiceConfig(const QString& text, const QString& baseDir) {
    ServiceConfig c;
    QString section;
    QSet<QString> seen;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = lines[i].trimmed();
        const QString where = QStringLiteral("line %1: ").arg(i + 1);
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')) || line.startsWith(QLatin1Char(';'))) continue;
        if (line.startsWith(QLatin1Char('['))) {
            if (!line.endsWith(QLatin1Char(']'))) return Fail(where + QStringLiteral("unclosed section header"));
            section = line.mid(1, line.size() - 2).trimmed();
            continue;
        }
        const int eq = line.indexOf(QLatin1Char('='));
        if (eq <= 0) return Fail(where + QStringLiteral("expected KEY = VALUE"));
        const QString key = section + QLatin1Char('/') + line.left(eq).trimmed();
        QString value = line.mid(eq + 1).trimmed();
        if (value.size() >= 2 && value.startsWith(QLatin1Char('"')) && value.endsWith(QLatin1Char('"')))
            value = value.mid(1, value.size() - 2);
        const auto it = Keys().find(key);
        if (section.isEmpty() || it == Keys().end()) return Fail(KeyName(key) + QStringLiteral(": unknown key"));
        if (seen.contains(key)) return Fail(KeyName(key) + QStringLiteral(": given twice"));
        seen.insert(key);
        const QString reason = it->second(c, value);
        if (!reason.isEmpty()) return Fail(KeyName(key) + QStringLiteral(": ") + reason);
    }
    // Rules across keys.
    if (!c.tcp.enabled() && !c.udp.enabled())
        return Fail(QStringLiteral("[tcp] listen: neither [tcp] listen nor [udp] listen is set; nothing to serve"));
    if (!c.mqttCaFile.isEmpty() && !c.mqttTls)
        return Fail(QStringLiteral("[mqtt] ca_file: only used with an mqtts:// url"));
    if (!c.mqttCertFile.isEmpty() && !c.mqttTls)
        return Fail(QStringLiteral("[mqtt] cert_file: only used with an mqtts:// url"));
    if (!c.mqttKeyFile.isEmpty() && c.mqttCertFile.isEmpty())
        return Fail(QStringLiteral("[mqtt] key_file: needs [mqtt] cert_file"));
    if (!c.mqttCertFile.isEmpty() && c.mqttKeyFile.isEmpty())
        return Fail(QStringLiteral("[mqtt] cert_file: needs [mqtt] key_file"));
    if (c.mqttPassword.size() > 0 && c.mqttUser.isEmpty())
        return Fail(QStringLiteral("[mqtt] password: needs [mqtt] user"));
    if (c.mqttDiscovery && c.mqttHost.isEmpty())
        return Fail(QStringLiteral("[mqtt] discovery: needs [mqtt] url"));
    if (c.nodeName.isEmpty()) {
        c.nodeName = QSysInfo::machineHostName();
        if (!TopicLevel(c.nodeName)) c.nodeName = QStringLiteral("datacentre");
    }
    if (QFileInfo(c.storePath).isRelative()) c.storePath = QDir(baseDir).filePath(c.storePath);
    for (QString* file : {&c.mqttCaFile, &c.mqttCertFile, &c.mqttKeyFile})
        if (!file->isEmpty() && QFileInfo(*file).isRelative()) *file = QDir(baseDir).filePath(*file);
    return ConfigResult{c, {}};
}

ConfigResult LoadServiceConfig(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return Fail(path + QStringLiteral(": ") + f.errorString());
    ConfigResult loaded = ParseServiceConfig(QString::fromUtf8(f.readAll()), QFileInfo(path).absolutePath());
    if (!loaded.config) return loaded;
    // The TLS files are read only when the broker connection starts; a missing one is
    // a bad configuration, said now rather than as a refused connection later.
    const std::pair<QString, QString> files[] = {{QStringLiteral("[mqtt] ca_file"), loaded.config->mqttCaFile},
                                                 {QStringLiteral("[mqtt] cert_file"), loaded.config->mqttCertFile},
                                                 {QStringLiteral("[mqtt] key_file"), loaded.config->mqttKeyFile}};
    for (const auto& [key, file] : files) {
        if (file.isEmpty()) continue;
        QFile tls(file);
        if (!tls.open(QIODevice::ReadOnly))
            return Fail(key + QStringLiteral(": cannot read ") + file + QStringLiteral(": ") + tls.errorString());
    }
    return loaded;
}

QStringList RestartOnlyChanges(const ServiceConfig& a, const ServiceConfig& b) {
    QStringList keys;
    if (a.tcp.host != b.tcp.host || a.tcp.port != b.tcp.port) keys << QStringLiteral("[tcp] listen");
    if (a.udp.host != b.udp.host || a.udp.port != b.udp.port) keys << QStringLiteral("[udp] listen");
    if (a.storePath != b.storePath) keys << QStringLiteral("[store] path");
    if (a.nodeName != b.nodeName) keys << QStringLiteral("[node] name");
    if (a.mqttHost != b.mqttHost || a.mqttPort != b.mqttPort || a.mqttTls != b.mqttTls || a.mqttCaFile != b.mqttCaFile ||
        a.mqttCertFile != b.mqttCertFile || a.mqttKeyFile != b.mqttKeyFile ||
        a.mqttUser != b.mqttUser || a.mqttPassword != b.mqttPassword || a.mqttPrefix != b.mqttPrefix ||
        a.cmdTimeoutMs != b.cmdTimeoutMs || a.mqttReadings != b.mqttReadings || a.mqttDiscovery != b.mqttDiscovery ||
        a.mqttDiscoveryPrefix != b.mqttDiscoveryPrefix)
        keys << QStringLiteral("[mqtt]");
    if (a.metrics.host != b.metrics.host || a.metrics.port != b.metrics.port) keys << QStringLiteral("[metrics] listen");
    return keys;
}

}  // namespace service
