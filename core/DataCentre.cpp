#include "core/DataCentre.h"

#include <QDateTime>

#include <algorithm>
#include <utility>

#include "core/CommitGate.h"
#include "core/MonotonicClock.h"
#include "protocol/Frame.h"

namespace core {

using ht6630::Op;
using ht6630::dialogue::Action;

namespace {
QByteArray ToQ(const ht6630::Bytes& b) {
    return QByteArray(reinterpret_cast<const char*>(b.data()), static_cast<qsizetype>(b.size()));
}
QString FromStd(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }
QByteArray Utf8(const QString& s) { return s.toUtf8(); }

bool IsUploadEndNotice(const QByteArray& b) {
    return b.size() >= 5 && b.startsWith(QByteArrayLiteral("\x71\x05\x02\x00\xAB"));
}

// A "qv" response frame, as the dialogue classifies it.
bool IsResponse(const QByteArray& b) {
    return b.size() >= 15 && b[0] == 'q' && b[1] == 'v' && static_cast<std::uint8_t>(b.back()) == 0x0D;
}
}  // namespace

ht6630::dialogue::LocalTime LocalNow() {
    const QDateTime now = QDateTime::currentDateTime();
    ht6630::dialogue::LocalTime t;
    t.year = now.date().year();
    t.month = now.date().month();
    t.day = now.date().day();
    t.hour = now.time().hour();
    t.minute = now.time().minute();
    t.second = now.time().second();
    return t;
}

DataCentre::DataCentre(ConsoleSession& session, QObject* parent) : QObject(parent), session_(session) {}

DataCentre::~DataCentre() = default;

void DataCentre::setCommitGate(CommitGate* gate) { commitGate_ = gate; }

void DataCentre::resetDialogue() {
    serviceRunning_ = false;
    serviceStopped_ = true;
    handshaken_ = false;
    pendingSetting_ = false;
    termAddr_.clear();
    pendingFrame_.clear();
    configMode_ = true;
}

void DataCentre::setServiceState(bool running, const QString& text) {
    serviceRunning_ = running;
    serviceStopped_ = !running;
    emit serviceStatusChanged(text);
}

QString SenderBarCode(const QByteArray& b) {
    if (b.size() < 15) return {};
    const auto* d = reinterpret_cast<const std::uint8_t*>(b.constData());
    const bool terminalFrame = d[0] == 0x51 && d[1] == 0x56 && d[b.size() - 1] == 0x0D;
    if (!terminalFrame || (d[2] != 0x01 && d[2] != 0x02 && d[2] != 0x2C)) return {};
    return QString::fromStdString(ht6630::BarCodeFromAddress(ht6630::ByteView(d + 3, 7)));
}

ht6630::dialogue::ConsoleState DataCentre::snapshot(const QByteArray& block, const Peer& peer) const {
    ht6630::dialogue::ConsoleState s;
    s.handshaken = handshaken_;
    s.pendingSetting = pendingSetting_;
    s.configMode = configMode_;
    s.termAddr = Utf8(termAddr_).toStdString();
    s.pendingOperation = Utf8(session_.pending.name).toStdString();
    s.terminalBarCode = Utf8(terminalBarCode_).toStdString();
    s.currentTerminal = Utf8(currentTerminal_).toStdString();
    if (serviceMode_) {
        // The terminal this block came from stands in for the operator's choice, and
        // its own request for the console's single one.
        const QString sender = blockTerminal(block, peer);
        s.currentTerminal = Utf8(sender).toStdString();
        const auto it = terminalRequests_.constFind(sender);
        // A kept request waits for the upload end alone: no other block may clear it.
        const bool announce = it != terminalRequests_.constEnd() && it->waiting && IsUploadEndNotice(block);
        s.pendingOperation = it != terminalRequests_.constEnd() ? Utf8(it->operation).toStdString() : std::string();
        s.pendingSetting = announce;
        if (announce) s.configMode = false;
    }
    return s;
}

QString DataCentre::blockTerminal(const QByteArray& block, const Peer& peer) const {
    const QString sender = SenderBarCode(block);
    return sender.isEmpty() ? peerBarCode(peer) : sender;
}

bool DataCentre::submitTerminalRequest(const QString& barCode, Op op, const QByteArray& frame, bool atUploadEnd) {
    TerminalRequest& r = terminalRequests_[barCode];
    r.operation = QString::fromUtf8(ht6630::Entry(op).name.data(), static_cast<qsizetype>(ht6630::Entry(op).name.size()));
    r.frame = frame;
    r.waiting = atUploadEnd;
    if (atUploadEnd) return true;
    if (!sendToTerminal(barCode, frame)) {
        terminalRequests_.remove(barCode);
        return false;
    }
    emit frameLogged(frame, true);
    return true;
}

void DataCentre::dropTerminalRequest(const QString& barCode) { terminalRequests_.remove(barCode); }

void DataCentre::reportResponse(const QByteArray& block, const QString& terminal, const std::vector<Action>& actions) {
    QString status;
    ht6630::FieldValues fields;
    for (const Action& a : actions) {
        if (a.kind == Action::Kind::ShowStatus && !a.text.empty()) status = FromStd(a.text);
        if (a.kind == Action::Kind::ShowParameters) fields = a.fields;
    }
    emit terminalResponded(terminal, static_cast<std::uint8_t>(block[2]), status, fields);
}

QCoro::Task<> DataCentre::handleBlock(QByteArray block, Peer peer) {
    QPointer<DataCentre> self(this);
    DelayQueue& queue = session_.replyQueue;   // outlives this engine
    try {
        const ht6630::ByteView view(reinterpret_cast<const std::uint8_t*>(block.constData()),
                                    static_cast<std::size_t>(block.size()));
        const std::vector<Action> actions = ht6630::dialogue::HandleBlock(channel(), view, snapshot(block, peer), LocalNow());
        reportEvent(block, peer);
        const QString terminal = serviceMode_ ? blockTerminal(block, peer) : QString();
        if (serviceMode_ && IsResponse(block)) reportResponse(block, terminal, actions);
        // Service mode with a store: the rows of the upload the next reply acknowledges.
        CommitGate::Ticket upload;
        for (const Action& a : actions) {
            if (a.kind == Action::Kind::Reply || a.kind == Action::Kind::SendPendingFrame) {
                // Only the standard reply delay is configurable; the short UDP pause is not.
                const double delay = a.delaySeconds == ht6630::dialogue::kReplyDelay ? replyDelay_ : a.delaySeconds;
                co_await queue.wait(delay);
                if (!self) co_return;                 // the engine is gone: touch nothing
                if (!peerUsable(peer)) co_return;     // connection closed / service stopped
                if (a.kind == Action::Kind::Reply && !upload.empty()) {
                    const CommitGate::Ticket rows = std::exchange(upload, {});
                    QPointer<CommitGate> gate = commitGate_;
                    CommitGate::State state = gate ? gate->state(rows) : CommitGate::State::Failing;
                    const qint64 giveUpNs = MonotonicNs() + qint64(CommitGate::kMaxWaitMs) * 1'000'000;
                    while (state == CommitGate::State::Waiting && MonotonicNs() < giveUpNs) {
                        co_await gate->next(giveUpNs);
                        if (!self) co_return;
                        state = gate ? gate->state(rows) : CommitGate::State::Failing;
                    }
                    if (state != CommitGate::State::Committed) {
                        // The terminal keeps its records: they are sent again.
                        emit uploadNotAcknowledged(terminal, state == CommitGate::State::Failing);
                        continue;
                    }
                    if (!peerUsable(peer)) co_return;
                }
                QByteArray frame = a.kind == Action::Kind::Reply ? ToQ(a.bytes) : pendingFrame_;
                if (serviceMode_ && a.kind == Action::Kind::SendPendingFrame) {
                    // The terminal's request as it is now: replaced or dropped during the wait.
                    const auto it = terminalRequests_.constFind(terminal);
                    if (it == terminalRequests_.constEnd() || !it->waiting) continue;
                    frame = it->frame;
                    sendToPeer(peer, frame);
                    emit frameLogged(frame, true);
                    emit terminalRequestSent(terminal);
                    continue;
                }
                // The reply leaves first; the log shows it as it left.
                sendToPeer(peer, frame);
                emit frameLogged(frame, true);
            } else if (a.kind == Action::Kind::ShowUpload && serviceMode_ && commitGate_) {
                // The store takes the records while the upload is shown (RecordReadings).
                upload.from = commitGate_->mark();
                applyAction(a, peer);
                if (commitGate_) upload.to = commitGate_->mark();
            } else {
                applyAction(a, peer);
            }
        }
    } catch (...) {
        // A handler that fails ends silently.
    }
}

void DataCentre::applyAction(const Action& a, const Peer& peer) {
    using K = Action::Kind;
    switch (a.kind) {
    case K::LogReceived: emit frameLogged(ToQ(a.bytes), false); break;
    case K::ShowStatus: emit statusChanged(FromStd(a.text)); break;
    case K::ClearPendingOperation:
        // The service's requests end when their caller drops them (answered, timed out, left).
        if (!serviceMode_) session_.pending.name.clear();
        break;
    case K::SetPendingOperation: session_.pending.name = FromStd(a.text); break;
    case K::ShowParameters: emit parametersDecoded(a.fields); break;
    case K::ShowTerminalBarCode:
        terminalBarCode_ = FromStd(a.text);
        emit terminalBarCodeShown(terminalBarCode_);
        break;
    case K::SetCurrentTerminal:
        currentTerminal_ = FromStd(a.text);
        emit currentTerminalShown(currentTerminal_);
        // A UDP terminal counts as online from its registration or upload.
        if (channel() == ht6630::dialogue::Channel::Udp) emit terminalOnline(currentTerminal_, -1, peerText(peer));
        break;
    case K::SetTermAddr: termAddr_ = FromStd(a.text); break;
    case K::SetHandshaken: handshaken_ = true; break;
    case K::ShowUpload:
        emit uploadText(FromStd(a.text));
        if (a.roomUpload) emit roomUploadDecoded(*a.roomUpload);
        if (!a.heatRecords.empty()) emit heatMeterDecoded(HeatMeterUpload{FromStd(a.heatBarCode), a.heatRecords});
        break;
    case K::ClearPendingSetting:
        if (!serviceMode_) {
            pendingSetting_ = false;
        } else if (auto it = terminalRequests_.find(peerBarCode(peer)); it != terminalRequests_.end()) {
            // Only an upload-end notice (no bar code of its own) announces a kept request.
            it->waiting = false;
        }
        break;
    case K::Reply:
    case K::SendPendingFrame: break;   // executed by handleBlock
    default: applyChannelAction(a, peer); break;
    }
}

void DataCentre::applyChannelAction(const Action&, const Peer&) {}

void DataCentre::reportEvent(const QByteArray& b, const Peer& peer) {
    if (b.size() < 15) return;
    const auto* d = reinterpret_cast<const std::uint8_t*>(b.constData());
    const bool terminalFrame = d[0] == 0x51 && d[1] == 0x56 && d[b.size() - 1] == 0x0D;
    if (terminalFrame && (d[2] == 0x01 || d[2] == 0x02)) {
        const QString barCode = QString::fromStdString(ht6630::BarCodeFromAddress(ht6630::ByteView(d + 3, 7)));
        emit terminalEvent(barCode, d[2] == 0x01 ? QStringLiteral("registration") : QStringLiteral("heartbeat"),
                           peerText(peer));
    } else if (d[0] == 0x71 && d[1] == 0x05 && d[2] == 0x02 && d[3] == 0x00 && d[4] == 0xAB) {
        emit terminalEvent(peerBarCode(peer), QStringLiteral("upload-end"), peerText(peer));
    }
}

void DataCentre::submitRequest(Op op, const QString& termAddr, const QByteArray& frame) {
    termAddr_ = termAddr;
    pendingFrame_ = frame;
    const RequestTexts texts = TextsFor(op, channel());
    if (!configMode_) {
        pendingSetting_ = true;
        emit statusChanged(texts.queued);
        return;
    }
    if (handshaken_) {
        emit frameLogged(pendingFrame_, true);
        sendRequestNow(texts);
        return;
    }
    emit statusChanged(kWaitHandshake);
}

}  // namespace core
