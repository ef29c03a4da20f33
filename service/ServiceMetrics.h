#pragma once
// What the service counts for [metrics] listen, and the Prometheus text it is shown
// as. The counters are plain integers the engines', the store's and the command
// desk's signals add to: a frame costs an increment, nothing is formatted until a
// scrape asks (RenderMetrics, a plain function the tests call too).
#include <QByteArray>
#include <QObject>
#include <QString>

#include <array>
#include <optional>

#include "CommandDesk.h"
#include "core/ReadingsRows.h"

namespace core {
class DataCentre;
class LatenessHistogram;
class ReadingsStore;
}  // namespace core

namespace service {

// The terminal frames the dialogue handles, as the engines report them.
enum class FrameKind { Registration, Heartbeat, Upload, HeatUpload, UploadEnd };
inline constexpr int kFrameKinds = 5;
// "registration", "heartbeat", "upload", "heat_upload", "upload_end".
const char* FrameKindName(FrameKind kind);

struct MetricCounters {
    std::array<std::array<quint64, kFrameKinds>, 2> frames{};   // [0 tcp, 1 udp][kind]
    quint64 readingsStored = 0;     // room and heat-meter records committed to the store
    quint64 storeErrors = 0;        // the store could not be written (each time it starts failing)
    std::array<quint64, kCommandOutcomes> commands{};
};

class ServiceMetrics : public QObject {
public:
    explicit ServiceMetrics(QObject* parent = nullptr);

    void watch(core::DataCentre& engine, core::Channel channel);
    void watch(core::ReadingsStore& store);
    void watch(CommandDesk& desk);
    const MetricCounters& counters() const { return counters_; }

private:
    MetricCounters counters_;
};

// Everything one scrape shows: the counters and what is read from the service at that moment.
struct MetricsSnapshot {
    QString version, node;
    bool tcp = false, udp = false;           // the channels configured
    int terminalsOnline[2] = {0, 0};         // [tcp, udp]
    int tcpConnections = 0;
    int terminalsOverdue = 0;
    const MetricCounters* counters = nullptr;
    const core::LatenessHistogram* replyLateness = nullptr;
    const core::LatenessHistogram* loopLateness = nullptr;
    bool mqtt = false;                       // [mqtt] url set: the broker's metrics follow
    bool brokerConnected = false;
    quint64 readingsPublished = 0;
    std::optional<qint64> readingsWaiting;
};

// The Prometheus text exposition (format 0.0.4) of a snapshot.
QByteArray RenderMetrics(const MetricsSnapshot& snapshot);

}  // namespace service
