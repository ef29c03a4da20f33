#include "core/FleetClient.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

#include "core/MqttConnection.h"
#include "core/RequestTexts.h"
#include "protocol/FieldNames.h"

namespace core {

namespace {
constexpr int kQos = 1;
constexpr int kRequestExpiresS = 7 * 24 * 3600;

QString FromStd(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

QDateTime Time(const QJsonValue& v) { return QDateTime::fromString(v.toString(), Qt::ISODate); }

std::optional<double> Number(const QJsonValue& v) {
    if (v.isDouble()) return v.toDouble();
    return std::nullopt;
}

void Later(QDateTime& mark, const QDateTime& t) {
    if (t.isValid() && (!mark.isValid() || t > mark)) mark = t;
}

std::optional<FleetRequestState> StateNamed(const QString& name) {
    static const std::pair<const char*, FleetRequestState> kStates[] = {
        {"queued", FleetRequestState::Queued},     {"sent", FleetRequestState::Sent},
        {"answered", FleetRequestState::Answered}, {"refused", FleetRequestState::Refused},
        {"timeout", FleetRequestState::Timeout},   {"replaced", FleetRequestState::Replaced},
        {"expired", FleetRequestState::Expired},   {"cancelled", FleetRequestState::Cancelled}};
    for (const auto& [n, s] : kStates)
        if (name == QLatin1String(n)) return s;
    return std::nullopt;
}

// A result without "state" (a service that reports only how a request ended): final,
// answered when the terminal's answer is in it, else judged by its message.
FleetRequestState FinalStateOf(const QJsonObject& o) {
    const QString message = o.value(QStringLiteral("message")).toString();
    if (!o.value(QStringLiteral("fields")).toObject().isEmpty() || o.value(QStringLiteral("ok")).toBool() ||
        message.startsWith(QStringLiteral("提示信息:")))
        return FleetRequestState::Answered;
    if (message == QLatin1String("timeout")) return FleetRequestState::Timeout;
    if (message.startsWith(QLatin1String("replaced"))) return FleetRequestState::Replaced;
    return FleetRequestState::Refused;
}
}  // namespace

QString FleetRequestStateName(FleetRequestState state) {
    switch (state) {
    case FleetRequestState::Published: return QStringLiteral("published");
    case FleetRequestState::Queued: return QStringLiteral("queued");
    case FleetRequestState::Sent: return QStringLiteral("sent");
    case FleetRequestState::Answered: return QStringLiteral("answered");
    case FleetRequestState::Refused: return QStringLiteral("refused");
    case FleetRequestState::Timeout: return QStringLiteral("timeout");
    case FleetRequestState::Replaced: return QStringLiteral("replaced");
    case FleetRequestState::Expired: return QStringLiteral("expired");
    case FleetRequestState::Cancelled: return QStringLiteral("cancelled");
    }
    return {};
}

QString FleetRequestText(const FleetRequest& r) {
    const RequestTexts texts = TextsFor(r.op, ht6630::dialogue::Channel::Tcp);
    if (r.state == FleetRequestState::Queued || (r.state == FleetRequestState::Published && r.atUploadEnd))
        return texts.queued;
    return texts.sending;
}

QString FleetResultText(const FleetResult& r) {
    const QString name = FromStd(ht6630::Entry(r.request.op).name);
    switch (r.request.state) {
    case FleetRequestState::Answered:
        return r.message.startsWith(QStringLiteral("提示信息:")) ? r.message : QStringLiteral("提示信息:") + r.message;
    case FleetRequestState::Timeout: return QStringLiteral("提示信息:%1超时，终端没有应答！").arg(name);
    case FleetRequestState::Replaced: return QStringLiteral("提示信息:%1已被新的请求取代！").arg(name);
    case FleetRequestState::Expired: return QStringLiteral("提示信息:%1已过期！").arg(name);
    case FleetRequestState::Cancelled: return QStringLiteral("提示信息:%1已取消！").arg(name);
    default: return QStringLiteral("提示信息:%1未执行：%2！").arg(name, r.message);
    }
}

std::optional<BrokerAddress> ParseBrokerUrl(const QString& text) {
    const QUrl url(text.trimmed(), QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty()) return std::nullopt;
    BrokerAddress a;
    if (url.scheme() == QLatin1String("mqtts")) a.tls = true;
    else if (url.scheme() != QLatin1String("mqtt")) return std::nullopt;
    if (!url.path().isEmpty() && url.path() != QLatin1String("/")) return std::nullopt;
    a.host = url.host();
    const int port = url.port(a.tls ? 8883 : 1883);
    if (port <= 0 || port > 65535) return std::nullopt;
    a.port = quint16(port);
    return a;
}

FleetClient::FleetClient(QObject* parent)
    : QObject(parent), idTag_(QString::number(QDateTime::currentMSecsSinceEpoch(), 36)) {}

FleetClient::~FleetClient() = default;

QByteArray FleetClient::topic(const QString& tail) const { return (settings_.prefix + QLatin1Char('/') + tail).toUtf8(); }

void FleetClient::setState(State state, const QString& detail) {
    if (state == state_ && detail == detail_) return;
    state_ = state;
    detail_ = detail;
    emit stateChanged(state, detail);
}

bool FleetClient::connectTo(const FleetSettings& settings, QString* error) {
    const std::optional<BrokerAddress> address = ParseBrokerUrl(settings.url);
    if (!address) {
        if (error) *error = QStringLiteral("not an mqtt:// or mqtts:// URL: ") + settings.url;
        return false;
    }
    disconnectFromBroker();
    settings_ = settings;
    while (settings_.prefix.endsWith(QLatin1Char('/'))) settings_.prefix.chop(1);
    MqttSettings s;
    s.host = address->host;
    s.port = address->port;
    s.tls = address->tls;
    s.user = settings.user;
    s.password = settings.password;
    s.caFile = settings.caFile;
    s.certFile = settings.certFile;
    s.keyFile = settings.keyFile;
    s.clientId = (QStringLiteral("ht6630-console-") + idTag_).toUtf8();
    s.retryAfterRefusal = false;   // a wrong password stays wrong
    connection_ = new MqttConnection(s, this);
    connect(connection_, &MqttConnection::connected, this, &FleetClient::onConnected);
    connect(connection_, &MqttConnection::refused, this,
            [this](int rc, const QString& text) { setState(State::Refused, QString::number(rc) + QLatin1Char(' ') + text); });
    connect(connection_, &MqttConnection::attemptFailed, this, [this](int, const QString& text) {
        setState(state_ == State::Connecting ? State::Connecting : State::Reconnecting, text);
    });
    connect(connection_, &MqttConnection::lost, this, [this](int, const QString& text) { setState(State::Reconnecting, text); });
    connect(connection_, &MqttConnection::message, this,
            [this](const QByteArray& t, const QByteArray& payload, bool) { onMessage(t, payload); });
    setState(State::Connecting, QString());
    QString why;
    if (!connection_->start(&why)) {
        connection_->deleteLater();
        connection_ = nullptr;
        setState(State::Disconnected, why);
        if (error) *error = why;
        return false;
    }
    return true;
}

void FleetClient::disconnectFromBroker() {
    if (!connection_) return;
    connection_->disconnectFromBroker();
    connection_->stopTimers();
    // Perhaps inside one of its signals: it goes once the call is over, and says nothing more.
    connection_->disconnect(this);
    connection_->deleteLater();
    connection_ = nullptr;
    setState(State::Disconnected, QString());
}

void FleetClient::onConnected() {
    setState(State::Connected, QString());
    // A clean session forgets subscriptions; the retained status and state come again.
    // QoS 0: a later status replaces a lost one. A broker queues a subscription's
    // retained messages for the client at once and drops what is beyond its queue for
    // it (mosquitto: max_queued_messages, 1,000 by default, QoS 0 and 1 alike), so its
    // queue must hold the fleet's (docs/deployment.md).
    connection_->subscribe(topic(QStringLiteral("+/status")), 0);
    connection_->subscribe(topic(QStringLiteral("+/state")), 0);
    connection_->subscribe(topic(QStringLiteral("+/cmd/result")), kQos);
    for (auto it = followed_.cbegin(); it != followed_.cend(); ++it)
        connection_->subscribe(topic(it.key() + QStringLiteral("/readings")), kQos);
}

FleetTerminal& FleetClient::terminalFor(const QString& barCode, int* row) {
    auto it = rows_.constFind(barCode);
    if (it != rows_.constEnd()) {
        *row = *it;
        return terminals_[std::size_t(*it)];
    }
    *row = int(terminals_.size());
    rows_.insert(barCode, *row);
    terminals_.push_back(FleetTerminal{});
    terminals_.back().barCode = barCode;
    return terminals_.back();
}

void FleetClient::onMessage(const QByteArray& t, const QByteArray& payload) {
    const QByteArray head = settings_.prefix.toUtf8() + '/';
    if (!t.startsWith(head) || payload.isEmpty()) return;   // an empty payload clears a retained topic
    const QList<QByteArray> levels = t.mid(head.size()).split('/');
    if (levels.size() < 2 || levels[0] == "nodes") return;
    const QString barCode = QString::fromUtf8(levels[0]);
    if (levels.size() == 2 && levels[1] == "status") onStatus(barCode, payload);
    else if (levels.size() == 2 && levels[1] == "state") onState(barCode, payload);
    else if (levels.size() == 2 && levels[1] == "readings") onReadings(barCode, payload);
    else if (levels.size() == 3 && levels[1] == "cmd" && levels[2] == "result") onResult(barCode, payload);
}

void FleetClient::onStatus(const QString& barCode, const QByteArray& payload) {
    const QJsonObject o = QJsonDocument::fromJson(payload).object();
    if (o.isEmpty()) return;
    const int before = terminalCount();
    int row = 0;
    FleetTerminal& term = terminalFor(barCode, &row);
    const bool wasOnline = term.online;
    term.online = o.value(QStringLiteral("online")).toBool();
    term.overdue = o.value(QStringLiteral("overdue")).toBool();
    term.node = o.value(QStringLiteral("node")).toString();
    term.channel = o.value(QStringLiteral("channel")).toString();
    term.address = o.value(QStringLiteral("address")).toString();
    term.since = Time(o.value(QStringLiteral("since")));
    Later(term.lastSeen, term.since);
    const bool added = terminalCount() > before;
    if (added) emit terminalAdded(row);
    else emit terminalChanged(row);
    if (added || wasOnline != term.online) emit onlineChanged(barCode, term.online);
}

void FleetClient::onState(const QString& barCode, const QByteArray& payload) {
    const QJsonObject o = QJsonDocument::fromJson(payload).object();
    if (o.isEmpty()) return;
    const int before = terminalCount();
    int row = 0;
    FleetTerminal& term = terminalFor(barCode, &row);
    term.temperature = Number(o.value(QStringLiteral("temperature")));
    term.humidity = Number(o.value(QStringLiteral("humidity")));
    term.battery = Number(o.value(QStringLiteral("battery")));
    term.readingTime = o.value(QStringLiteral("time")).toString();
    if (term.node.isEmpty()) term.node = o.value(QStringLiteral("node")).toString();
    Later(term.lastSeen, Time(o.value(QStringLiteral("received"))));
    if (terminalCount() > before) {
        emit terminalAdded(row);
        emit onlineChanged(barCode, false);   // no status heard yet
    } else {
        emit terminalChanged(row);
    }
}

void FleetClient::onReadings(const QString& barCode, const QByteArray& payload) {
    if (!followed_.contains(barCode)) return;
    const QJsonObject o = QJsonDocument::fromJson(payload).object();
    TerminalSeries s;
    for (const QJsonValue& v : o.value(QStringLiteral("readings")).toArray()) {
        const QJsonObject r = v.toObject();
        const QByteArray time = r.value(QStringLiteral("time")).toString().toLatin1();
        std::int64_t ms = 0;
        if (!ParseLocalIsoTime(time.constData(), std::size_t(time.size()), &ms)) continue;
        s.timesMs.push_back(ms);
        s.temperatureC.push_back(r.value(QStringLiteral("temperature")).toDouble());
        s.humidityPct.push_back(r.value(QStringLiteral("humidity")).toDouble());
    }
    if (s.size() > 0) emit readingsReceived(barCode, s);
}

void FleetClient::onResult(const QString& barCode, const QByteArray& payload) {
    const QJsonObject o = QJsonDocument::fromJson(payload).object();
    const QJsonValue idValue = o.value(QStringLiteral("id"));
    const QString id = idValue.isString() ? idValue.toString() : QString();
    // Only the results of this client's requests: a retained one of an earlier run is not ours.
    const auto it = std::find_if(waiting_.begin(), waiting_.end(),
                                 [&](const FleetRequest& r) { return r.id == id && r.barCode == barCode; });
    if (id.isEmpty() || it == waiting_.end()) return;
    const QJsonValue stateValue = o.value(QStringLiteral("state"));
    const std::optional<FleetRequestState> named =
        stateValue.isString() ? StateNamed(stateValue.toString()) : std::optional(FinalStateOf(o));
    if (!named) return;
    if (*named == FleetRequestState::Queued || *named == FleetRequestState::Sent) {
        if (it->state == *named) return;
        it->state = *named;
        emit requestStateChanged(*it);
        emit requestsChanged();
        return;
    }
    FleetResult r;
    r.request = *it;
    r.request.state = *named;
    waiting_.erase(it);
    if (o.value(QStringLiteral("ok")).isBool()) r.ok = o.value(QStringLiteral("ok")).toBool();
    r.message = o.value(QStringLiteral("message")).toString();
    r.node = o.value(QStringLiteral("node")).toString();
    const QJsonObject fields = o.value(QStringLiteral("fields")).toObject();
    for (auto f = fields.begin(); f != fields.end(); ++f) {
        const QByteArray name = f.key().toUtf8(), value = f.value().toString().toUtf8();
        ht6630::SetFieldValue(r.fields, std::string_view(name.constData(), std::size_t(name.size())),
                              std::string_view(value.constData(), std::size_t(value.size())));
    }
    emit requestsChanged();
    emit requestEnded(r);
}

QString FleetClient::sendRequest(const QString& barCode, ht6630::Op op, const ht6630::FieldInputs& inputs,
                                 bool atUploadEnd) {
    if (!connection_ || state_ != State::Connected) return {};
    FleetRequest r;
    r.id = QStringLiteral("%1-%2").arg(idTag_).arg(++nextId_);
    r.barCode = barCode;
    r.op = op;
    r.atUploadEnd = atUploadEnd;
    r.made = QDateTime::currentDateTime();
    QJsonObject fields;
    for (const auto& [name, value] : ht6630::NamedFieldInputs(inputs, op)) fields.insert(FromStd(name), FromStd(value));
    const QJsonObject o{{QStringLiteral("id"), r.id},
                        {QStringLiteral("op"), FromStd(ht6630::Entry(op).button)},
                        {QStringLiteral("fields"), fields},
                        {QStringLiteral("when"), atUploadEnd ? QStringLiteral("upload-end") : QStringLiteral("now")},
                        {QStringLiteral("expires_s"), kRequestExpiresS}};
    if (connection_->publish(topic(barCode + QStringLiteral("/cmd")), QJsonDocument(o).toJson(QJsonDocument::Compact),
                             false, kQos) < 0)
        return {};
    waiting_.append(r);
    emit requestsChanged();
    return r.id;
}

bool FleetClient::cancelRequest(const QString& id) {
    const auto it = std::find_if(waiting_.begin(), waiting_.end(), [&](const FleetRequest& r) { return r.id == id; });
    if (it == waiting_.end() || !it->cancellable() || !connection_) return false;
    const QJsonObject o{{QStringLiteral("cancel"), id}};
    return connection_->publish(topic(it->barCode + QStringLiteral("/cmd")), QJsonDocument(o).toJson(QJsonDocument::Compact),
                                false, kQos) >= 0;
}

void FleetClient::followReadings(const QString& barCode) {
    if (followed_[barCode]++ > 0) return;
    if (connection_ && state_ == State::Connected) connection_->subscribe(topic(barCode + QStringLiteral("/readings")), kQos);
}

void FleetClient::unfollowReadings(const QString& barCode) {
    auto it = followed_.find(barCode);
    if (it == followed_.end() || --*it > 0) return;
    followed_.erase(it);
    if (connection_) connection_->unsubscribe(topic(barCode + QStringLiteral("/readings")));
}

}  // namespace core
