#include "ServiceMetrics.h"

#include <QLocale>

#include <algorithm>

#include "core/DataCentre.h"
#include "core/LatenessHistogram.h"
#include "core/ReadingsStore.h"

namespace service {

namespace {

// The exported buckets: upper edges in milliseconds, each on an edge of
// LatenessHistogram's own (1 ms steps below 100 ms, 10 ms steps up to 10 s).
struct Edge {
    int ms;
    const char* le;
};
constexpr Edge kEdges[] = {{1, "0.001"}, {2, "0.002"},  {5, "0.005"}, {10, "0.01"},  {20, "0.02"},
                           {50, "0.05"}, {100, "0.1"},  {200, "0.2"}, {500, "0.5"},  {1000, "1"},
                           {2000, "2"},  {5000, "5"},   {10000, "10"}};

const char* const kChannels[2] = {"tcp", "udp"};

// A label value: backslash, double quote and line feed escaped.
QByteArray LabelValue(const QString& v) {
    QByteArray out;
    for (const char c : v.toUtf8()) {
        if (c == '\\') out += "\\\\";
        else if (c == '"') out += "\\\"";
        else if (c == '\n') out += "\\n";
        else out += c;
    }
    return out;
}

class Writer {
public:
    void family(const char* name, const char* type, const char* help) {
        out_ += "# HELP ht6630_";
        out_ += name;
        out_ += ' ';
        out_ += help;
        out_ += "\n# TYPE ht6630_";
        out_ += name;
        out_ += ' ';
        out_ += type;
        out_ += '\n';
    }
    // One sample; `labels` without braces, empty for none.
    void sample(const char* name, const QByteArray& labels, quint64 value) { line(name, labels, QByteArray::number(value)); }
    void sample(const char* name, const QByteArray& labels, double value) {
        line(name, labels, QByteArray::number(value, 'g', QLocale::FloatingPointShortest));
    }
    void histogram(const char* name, const char* help, const core::LatenessHistogram& h) {
        family(name, "histogram", help);
        const QByteArray bucket = QByteArray(name) + "_bucket";
        for (const Edge& e : kEdges)
            sample(bucket.constData(), QByteArray("le=\"") + e.le + '"', h.countBelowMs(e.ms));
        sample(bucket.constData(), "le=\"+Inf\"", h.count());
        sample((QByteArray(name) + "_sum").constData(), {}, h.sumSeconds());
        sample((QByteArray(name) + "_count").constData(), {}, h.count());
    }
    QByteArray take() { return std::move(out_); }

private:
    void line(const char* name, const QByteArray& labels, const QByteArray& value) {
        out_ += "ht6630_";
        out_ += name;
        if (!labels.isEmpty()) {
            out_ += '{';
            out_ += labels;
            out_ += '}';
        }
        out_ += ' ';
        out_ += value;
        out_ += '\n';
    }
    QByteArray out_;
};

QByteArray Label(const char* key, const char* value) { return QByteArray(key) + "=\"" + value + '"'; }

}  // namespace

const char* FrameKindName(FrameKind kind) {
    switch (kind) {
    case FrameKind::Registration: return "registration";
    case FrameKind::Heartbeat: return "heartbeat";
    case FrameKind::Upload: return "upload";
    case FrameKind::HeatUpload: return "heat_upload";
    case FrameKind::UploadEnd: return "upload_end";
    }
    return "";
}

ServiceMetrics::ServiceMetrics(QObject* parent) : QObject(parent) {}

void ServiceMetrics::watch(core::DataCentre& engine, core::Channel channel) {
    auto& frames = counters_.frames[channel == core::Channel::Tcp ? 0 : 1];
    connect(&engine, &core::DataCentre::terminalEvent, this, [&frames](const QString&, const QString& kind, const QString&) {
        // "registration", "heartbeat", "upload-end": the first letter tells them apart.
        const QChar c = kind.isEmpty() ? QChar() : kind.front();
        if (c == u'r') ++frames[int(FrameKind::Registration)];
        else if (c == u'h') ++frames[int(FrameKind::Heartbeat)];
        else if (c == u'u') ++frames[int(FrameKind::UploadEnd)];
    });
    connect(&engine, &core::DataCentre::roomUploadDecoded, this,
            [&frames](const ht6630::RoomUpload&) { ++frames[int(FrameKind::Upload)]; });
    connect(&engine, &core::DataCentre::heatMeterDecoded, this,
            [&frames](const core::HeatMeterUpload&) { ++frames[int(FrameKind::HeatUpload)]; });
}

void ServiceMetrics::watch(core::ReadingsStore& store) {
    connect(&store, &core::ReadingsStore::batchCommitted, this,
            [this](int readings) { counters_.readingsStored += quint64(std::max(readings, 0)); });
    connect(&store, &core::ReadingsStore::statusChanged, this, [this](const QString& text) {
        if (!text.isEmpty()) ++counters_.storeErrors;
    });
}

void ServiceMetrics::watch(CommandDesk& desk) {
    connect(&desk, &CommandDesk::ended, this, [this](CommandOutcome outcome) { ++counters_.commands[int(outcome)]; });
}

QByteArray RenderMetrics(const MetricsSnapshot& m) {
    Writer w;
    const bool on[2] = {m.tcp, m.udp};
    w.family("build_info", "gauge", "The service's version and node name.");
    w.sample("build_info", "version=\"" + LabelValue(m.version) + "\",node=\"" + LabelValue(m.node) + '"', quint64(1));

    w.family("terminals_online", "gauge",
             "Terminals this node holds, by channel (TCP: registered on an open connection; UDP: heard within "
             "[udp] offline_after_s).");
    for (int c = 0; c < 2; ++c)
        if (on[c]) w.sample("terminals_online", Label("channel", kChannels[c]), quint64(m.terminalsOnline[c]));
    if (m.tcp) {
        w.family("tcp_connections", "gauge", "TCP connections held, registered or not.");
        w.sample("tcp_connections", {}, quint64(m.tcpConnections));
    }
    w.family("terminals_overdue", "gauge",
             "Terminals held that sent nothing for more than three heart-beat intervals (or [dialogue] overdue_after_s).");
    w.sample("terminals_overdue", {}, quint64(m.terminalsOverdue));

    if (m.counters) {
        w.family("frames_total", "counter",
                 "Terminal frames handled, by channel and kind; each is answered but a UDP heart beat.");
        for (int c = 0; c < 2; ++c) {
            if (!on[c]) continue;
            for (int k = 0; k < kFrameKinds; ++k)
                w.sample("frames_total",
                         Label("channel", kChannels[c]) + ',' + Label("kind", FrameKindName(FrameKind(k))),
                         m.counters->frames[std::size_t(c)][std::size_t(k)]);
        }
    }
    if (m.replyLateness)
        w.histogram("reply_lateness_seconds",
                    "How much later than the reply delay each reply left; a bucket counts those below its edge.",
                    *m.replyLateness);
    if (m.loopLateness)
        w.histogram("event_loop_lateness_seconds",
                    "How long the event loop kept a due timer waiting (sampled every 50 ms); a bucket counts those "
                    "below its edge.",
                    *m.loopLateness);
    if (m.counters) {
        w.family("readings_stored_total", "counter", "Readings and heat-meter records written to the readings store.");
        w.sample("readings_stored_total", {}, m.counters->readingsStored);
        w.family("store_errors_total", "counter", "Times the readings store could not be written.");
        w.sample("store_errors_total", {}, m.counters->storeErrors);
    }
    if (m.mqtt) {
        w.family("broker_connected", "gauge", "1 while the MQTT broker connection is up.");
        w.sample("broker_connected", {}, quint64(m.brokerConnected ? 1 : 0));
        w.family("readings_published_total", "counter", "Readings and heat-meter records the broker acknowledged.");
        w.sample("readings_published_total", {}, m.readingsPublished);
        if (m.readingsWaiting) {
            w.family("readings_waiting", "gauge", "Readings in the publish log the broker has not yet acknowledged.");
            w.sample("readings_waiting", {}, quint64(*m.readingsWaiting));
        }
        if (m.counters) {
            w.family("commands_total", "counter", "Configuration requests (cmd) ended, by outcome.");
            for (int o = 0; o < kCommandOutcomes; ++o)
                w.sample("commands_total", Label("outcome", CommandOutcomeName(CommandOutcome(o))),
                         m.counters->commands[std::size_t(o)]);
        }
    }
    return w.take();
}

}  // namespace service
