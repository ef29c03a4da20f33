#include "Channels.h"

#include <QSerialPort>
#include <QSocketNotifier>
#include <QTcpSocket>
#include <QUdpSocket>

#include <qcoro/qcorotimer.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <linux/errqueue.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <cstdio>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include "protocol/Frame.h"

namespace sim {

namespace {

std::string Extra(const std::string& key, const std::string& value) { return ",\"" + key + "\":" + JsonString(value); }

void Report(const std::string& term, const std::string& what) {
    std::fprintf(stderr, "ht6630-terminal: %s%s%s\n", term.c_str(), term.empty() ? "" : ": ", what.c_str());
}

}  // namespace

Shaped Shape(Bytes f, const Options& o, bool truncatable) {
    const bool framed = f.size() >= 15 && (f[0] == 0x51 || f[0] == 0x71) && (f[1] == 0x56 || f[1] == 0x76);
    if (o.has(Fault::BadCrc) && framed) f[f.size() - 3] ^= 0xFF;
    if (o.has(Fault::Truncated) && truncatable) f.resize(f.size() - f.size() / 3);
    Shaped s;
    s.wire = f;
    if (o.has(Fault::Drip)) {
        for (auto b : f) s.pieces.push_back(Bytes{b});
        s.pauseMs = kDripPauseMs;
    } else if (o.has(Fault::Split) && f.size() >= 3) {
        const std::size_t a = f.size() / 3, b = 2 * f.size() / 3;
        s.pieces = {Bytes(f.begin(), f.begin() + long(a)), Bytes(f.begin() + long(a), f.begin() + long(b)),
                    Bytes(f.begin() + long(b), f.end())};
        s.pauseMs = kSplitPauseMs;
    } else {
        s.pieces = {std::move(f)};
    }
    return s;
}

Bytes Garbage(std::mt19937& rng, int n) {
    Bytes g;
    std::uniform_int_distribution<int> d(1, 255);
    while (int(g.size()) < n) {
        int b = d(rng);
        if (b == 0x51 || b == 0x71 || b == 0x0D) continue;   // nothing that could start or end a frame
        g.push_back(std::uint8_t(b));
    }
    return g;
}

// ---------------------------------------------------------------- serial side

SerialSide::SerialSide(TerminalState* state, const Options& o, QObject* parent)
    : QObject(parent), st_(state), o_(o), rng_(o.seed) {
    writer_ = new Writer([this](ByteView d) { return writeOut(d); }, this);
    stale_.setSingleShot(true);
    connect(&stale_, &QTimer::timeout, this, [this] {
        if (!cutter_.holding()) return;
        auto b = cutter_.takeHeld();
        Traffic::get().frame(st_->p.barCode, false, "garbage", b.bytes, Extra("note", "incomplete frame dropped"));
    });
}

SerialSide::~SerialSide() {
    if (master_ >= 0) ::close(master_);
    if (slave_ >= 0) ::close(slave_);
}

bool SerialSide::open(std::string* error) {
    if (o_.pty) {
        char name[256] = {};
        if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
            *error = std::string("openpty failed: ") + std::strerror(errno);
            return false;
        }
        termios t{};
        ::tcgetattr(slave_, &t);
        ::cfmakeraw(&t);
        ::cfsetispeed(&t, B2400);
        ::cfsetospeed(&t, B2400);
        ::tcsetattr(slave_, TCSANOW, &t);
        ::tcgetattr(master_, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(master_, TCSANOW, &t);
        ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
        // The slave stays open here as well, so the console can close and reopen it.
        notifier_ = new QSocketNotifier(master_, QSocketNotifier::Read, this);
        connect(notifier_, &QSocketNotifier::activated, this, [this] {
            std::uint8_t buf[4096];
            for (;;) {
                ssize_t r = ::read(master_, buf, sizeof buf);
                if (r > 0) { onBytes(ByteView(buf, std::size_t(r))); continue; }
                if (r < 0 && (errno == EAGAIN || errno == EINTR)) return;
                notifier_->setEnabled(false);
                emit failed(QStringLiteral("pseudo-terminal closed"));
                return;
            }
        });
        std::printf("pty: %s\n", name);
        std::fflush(stdout);
        return true;
    }
    port_ = new QSerialPort(this);
    port_->setPortName(QString::fromStdString(o_.serialDevice));
    port_->setBaudRate(o_.baud);
    port_->setDataBits(QSerialPort::Data8);
    port_->setParity(o_.parity == 'E' ? QSerialPort::EvenParity : o_.parity == 'O' ? QSerialPort::OddParity : QSerialPort::NoParity);
    port_->setStopBits(QSerialPort::OneStop);
    port_->setFlowControl(QSerialPort::NoFlowControl);
    if (!port_->open(QIODevice::ReadWrite)) {
        *error = "cannot open " + o_.serialDevice + ": " + port_->errorString().toStdString();
        return false;
    }
    connect(port_, &QSerialPort::readyRead, this, [this] {
        const QByteArray d = port_->readAll();
        onBytes(ByteView(reinterpret_cast<const std::uint8_t*>(d.constData()), std::size_t(d.size())));
    });
    connect(port_, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError e) {
        if (e != QSerialPort::ReadError && e != QSerialPort::ResourceError && e != QSerialPort::WriteError) return;
        if (failedOnce_) return;
        failedOnce_ = true;
        const QString why = port_->errorString();
        port_->close();   // a closed peer keeps reporting ReadError otherwise
        emit failed(QStringLiteral("serial port lost: ") + why);
    });
    return true;
}

bool SerialSide::writeOut(ByteView d) {
    if (port_) {
        if (!port_->isOpen()) return false;
        return port_->write(reinterpret_cast<const char*>(d.data()), qint64(d.size())) == qint64(d.size());
    }
    std::size_t done = 0;
    while (done < d.size()) {
        ssize_t w = ::write(master_, d.data() + done, d.size() - done);
        if (w > 0) { done += std::size_t(w); continue; }
        if (w < 0 && errno == EINTR) continue;
        Report(st_->p.barCode, "serial write failed: " + std::string(w < 0 ? std::strerror(errno) : "no progress"));
        return false;
    }
    return true;
}

void SerialSide::onBytes(ByteView data) {
    for (auto& b : cutter_.feed(data, Traffic::get().now())) handle(b);
    if (cutter_.holding()) stale_.start(2000);
    else stale_.stop();
}

void SerialSide::handle(const Cutter::Block& b) {
    const std::string term = st_->p.barCode;
    if (b.garbage) {
        Traffic::get().frame(term, false, "garbage", b.bytes);
        return;
    }
    if (!(b.bytes.size() >= 15 && b.bytes[0] == 0x51 && b.bytes[1] == 0x56)) {
        Traffic::get().frame(term, false, ClassifyFromDataCentre(b.bytes), b.bytes, Extra("note", "not a request, ignored"));
        return;
    }
    auto a = st_->handleRequest(b.bytes);
    std::string extra;
    if (!a.op.empty()) extra += Extra("op", a.op);
    if (b.preamble) extra += ",\"preamble\":true";
    if (!a.ignored.empty()) extra += Extra("ignored", a.ignored);
    Traffic::get().frame(term, false, "request", b.bytes, extra);
    if (!a.ignored.empty()) Report(term, "request not answered: " + a.ignored);
    if (!a.response) return;
    // The response goes in one write, so the console's quiet-time receive sees one block.
    Shaped s = Shape(*a.response, o_, true);
    Bytes prefix;
    if (o_.has(Fault::Garbage)) {
        prefix = Garbage(rng_, 24);
        Traffic::get().frame(st_->p.barCode, true, "garbage", prefix);
    }
    if (o_.has(Fault::Coalesced)) {
        Bytes twice = s.wire;
        twice.insert(twice.end(), s.wire.begin(), s.wire.end());
        s.pieces = {twice};
        Traffic::get().frame(st_->p.barCode, true, "response", s.wire);
    }
    if (!prefix.empty()) s.pieces.front().insert(s.pieces.front().begin(), prefix.begin(), prefix.end());
    Traffic::get().frame(st_->p.barCode, true, "response", s.wire);
    writer_->enqueue(std::move(s.pieces), s.pauseMs);
}

// ---------------------------------------------------------------- data-centre side

NetTerminal::NetTerminal(int index, const Options& o, const QHostAddress& host, quint16 port, bool tcp, QObject* parent)
    : QObject(parent), index_(index), o_(o), host_(host), port_(port), primaryHost_(host), primaryPort_(port),
      source_(o.sources.empty() ? QHostAddress() : QHostAddress(QString::fromStdString(o.sources[std::size_t(index) % o.sources.size()]))),
      tcp_(tcp), rng_(o.seed + unsigned(index)) {
    st.phase = index;
    writer_ = new Writer([this](ByteView d) { return sinkWrite(d); }, this);
    // Each terminal keeps its own clock: a coarse timer would round a 30 s beat to
    // whole seconds and make thousands of terminals beat in the same instant.
    heartbeat_.setTimerType(Qt::PreciseTimer);
    connect(&heartbeat_, &QTimer::timeout, this, [this] {
        send("heartbeat", st.heartbeatFrame(), tcp_ ? "heartbeat-ack" : "");
    });
    napTimer_.setSingleShot(true);
    connect(&napTimer_, &QTimer::timeout, this, &NetTerminal::wake);
    connectTimeout_.setSingleShot(true);
    connect(&connectTimeout_, &QTimer::timeout, this, [this] {
        if (connected_) return;
        if (o_.reconnect && tcp_) reconnectLater("connection timed out");
        else finish(false, "connection timed out");
    });
    reconnectTimer_.setSingleShot(true);
    connect(&reconnectTimer_, &QTimer::timeout, this, [this] {
        if (!finished_ && !closing_) connectSocket();
    });
}

long NetTerminal::outstanding() const {
    long n = 0;
    for (auto& [k, v] : pending_) n += long(v.size());
    return n;
}

void NetTerminal::connectSocket() {
    auto* s = new QTcpSocket(this);
    sock_ = s;
    connect(s, &QTcpSocket::readyRead, this, &NetTerminal::onReadable);
    connect(s, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError) { onSocketError(); });
    const int generation = generation_;
    connect(s, &QTcpSocket::connected, this, [this, generation] {
        if (generation != generation_) return;
        connected_ = true;
        connectTimeout_.stop();
        dialogue();
    });
    // Bound first, the connection leaves from that address: its own set of ports.
    if (!source_.isNull() && !s->bind(source_, 0)) {
        const std::string why = "cannot bind to " + source_.toString().toStdString() + ": " + s->errorString().toStdString();
        if (o_.reconnect) reconnectLater(why);
        else finish(false, why);
        return;
    }
    connectTimeout_.start(o_.reconnect ? 5000 : 20000);
    s->connectToHost(host_, port_);
}

void NetTerminal::reconnectLater(const std::string& why) {
    if (finished_ || closing_ || reconnectTimer_.isActive()) return;
    ++generation_;
    connected_ = false;
    heartbeat_.stop();
    connectTimeout_.stop();
    writer_->clear();
    cutter_.clear();
    pending_.clear();   // answers the lost connection owed will not come
    if (sock_) {
        sock_->disconnect(this);
        sock_->abort();
        sock_->deleteLater();
        sock_ = nullptr;
    }
    wake();   // the dialogue of the lost connection ends
    // Three tries at the data centre, then three at the spare one, and again.
    const int attempt = failedAttempts_++;
    const bool spare = (attempt / 3) % 2 == 1;
    host_ = spare ? QHostAddress(QStringLiteral("%1.%2.%3.%4")
                                     .arg(st.p.spareIp[0]).arg(st.p.spareIp[1]).arg(st.p.spareIp[2]).arg(st.p.spareIp[3]))
                  : primaryHost_;
    port_ = spare ? st.p.sparePort : primaryPort_;
    const int base = std::min(500 << std::min(attempt % 3 + (attempt / 6), 4), 8000);
    const int delay = base + int(std::uniform_int_distribution<int>(0, base / 2)(rng_));
    Report(st.p.barCode, why + "; connecting to " + host_.toString().toStdString() + ":" + std::to_string(port_) +
                             " in " + std::to_string(delay) + " ms");
    reconnectTimer_.start(delay);
}

void NetTerminal::start() {
    if (tcp_) {
        connectSocket();
    } else {
        auto* s = new QUdpSocket(this);
        sock_ = s;
        connect(s, &QUdpSocket::readyRead, this, &NetTerminal::onReadable);
        connect(s, &QUdpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError) { onSocketError(); });
        const QHostAddress local = !source_.isNull() ? source_
                                   : host_.isLoopback() ? QHostAddress(QHostAddress::LocalHost) : QHostAddress(QHostAddress::AnyIPv4);
        if (!s->bind(local, 0)) {
            finish(false, "cannot bind a UDP socket to " + local.toString().toStdString() + ": " + s->errorString().toStdString());
            return;
        }
        // A connected datagram socket holds an unreachable port as a pending error,
        // which the socket's own notifications do not report: look for it.
        auto* probe = new QTimer(this);
        connect(probe, &QTimer::timeout, this, [this, s, probe] {
            if (finished_) { probe->stop(); return; }
            // With IP_RECVERR the error stays in the error queue after the socket's
            // own reads have consumed the pending error.
            char data[64], control[512];
            iovec iov{data, sizeof data};
            msghdr msg{};
            msg.msg_iov = &iov;
            msg.msg_iovlen = 1;
            msg.msg_control = control;
            msg.msg_controllen = sizeof control;
            if (::recvmsg(int(s->socketDescriptor()), &msg, MSG_ERRQUEUE | MSG_DONTWAIT) < 0) return;
            for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
                if (c->cmsg_level != IPPROTO_IP || c->cmsg_type != IP_RECVERR) continue;
                const auto* ee = reinterpret_cast<const sock_extended_err*>(CMSG_DATA(c));
                if (ee->ee_errno == 0) continue;
                finish(false, std::string(std::strerror(int(ee->ee_errno))) + " (" + host_.toString().toStdString() +
                                  ":" + std::to_string(port_) + ")");
                return;
            }
        });
        const int on = 1;
        ::setsockopt(int(s->socketDescriptor()), IPPROTO_IP, IP_RECVERR, &on, sizeof on);
        probe->start(250);
        connect(s, &QUdpSocket::connected, this, [this] {
            connected_ = true;
            connectTimeout_.stop();
            dialogue();
        });
        connectTimeout_.start(20000);
        // A connected datagram socket: a closed port is reported as "connection refused".
        s->connectToHost(host_, port_);
    }
}

void NetTerminal::stop() {
    closing_ = true;
    heartbeat_.stop();
    if (sock_) sock_->abort();
}

void NetTerminal::onSocketError() {
    if (!sock_ || finished_ || closing_) return;
    const auto e = sock_->error();
    if (o_.reconnect && tcp_) {
        reconnectLater(sock_->errorString().toStdString() + " (" + host_.toString().toStdString() + ":" +
                       std::to_string(port_) + ")");
        return;
    }
    if (e == QAbstractSocket::RemoteHostClosedError) {
        if (onceDone_) finish(true, "");
        else finish(false, "connection closed by the data centre");
        return;
    }
    if (!tcp_ && e != QAbstractSocket::ConnectionRefusedError && e != QAbstractSocket::HostNotFoundError) return;
    finish(false, sock_->errorString().toStdString() + " (" + host_.toString().toStdString() + ":" +
                      std::to_string(port_) + ")");
}

void NetTerminal::finish(bool ok, const std::string& reason) {
    if (finished_) return;
    finished_ = true;
    failed_ = !ok;
    closing_ = true;
    heartbeat_.stop();
    connectTimeout_.stop();
    if (!reason.empty()) Report(st.p.barCode, reason);
    if (sock_) sock_->abort();
    wake();   // a napping dialogue then sees finished_
    emit done();
}

bool NetTerminal::sinkWrite(ByteView d) {
    if (!sock_ || finished_ || sock_->state() != QAbstractSocket::ConnectedState) return false;
    const qint64 w = sock_->write(reinterpret_cast<const char*>(d.data()), qint64(d.size()));
    if (tcp_) static_cast<QTcpSocket*>(sock_)->flush();
    if (w != qint64(d.size())) {
        Report(st.p.barCode, "write failed: " + sock_->errorString().toStdString());
        return false;
    }
    return true;
}

void NetTerminal::sendShaped(const std::string& kind, Shaped s, const std::vector<std::string>& sentKinds,
                             const std::vector<std::string>& expects) {
    (void)kind;
    QPointer<NetTerminal> self(this);
    writer_->enqueue(std::move(s.pieces), s.pauseMs, [self, sentKinds, expects] {
        if (!self) return;
        const double t = Traffic::get().now();
        for (std::size_t k = 0; k < expects.size(); ++k)
            if (!expects[k].empty()) self->pending_[expects[k]].push_back({sentKinds[k], t});
    });
}

void NetTerminal::send(const std::string& kind, Bytes frame, const std::string& expect, bool truncatable) {
    if (finished_) return;
    Shaped s = Shape(std::move(frame), o_, truncatable);
    Traffic::get().frame(st.p.barCode, true, kind, s.wire);
    sendShaped(kind, std::move(s), {kind}, {expect});
}

void NetTerminal::Nap::await_suspend(std::coroutine_handle<> h) {
    t->napper_ = h;
    if (ms >= 0) t->napTimer_.start(int(ms));
}

// Resumes a napping dialogue once, from the event loop (never inside the caller).
void NetTerminal::wake() {
    if (!napper_) return;
    auto h = napper_;
    napper_ = {};
    napTimer_.stop();
    QMetaObject::invokeMethod(this, [h] { h.resume(); }, Qt::QueuedConnection);
}

QCoro::Task<bool> NetTerminal::waitAnswer(std::string kind, long target) {
    QPointer<NetTerminal> self(this);
    const int generation = generation_;
    const double deadline = Traffic::get().now() + o_.answerTimeout;
    while (!finished_ && generation == generation_ && answered_[kind] < target) {
        const double rem = deadline - Traffic::get().now();
        if (rem <= 0) co_return false;
        co_await Nap{this, long(rem * 1000) + 1};
        if (!self) co_return false;
    }
    co_return !finished_ && generation == generation_;
}

QCoro::Task<> NetTerminal::dialogue() {
    QPointer<NetTerminal> self(this);
    const int generation = generation_;
    // The run is over, or this dialogue's connection is.
    const auto over = [&] { return !self || finished_ || generation != generation_; };
    const long regTarget = answered_["registration-ack"] + 1;
    send("registration", st.registration(), "registration-ack");
    if (co_await waitAnswer("registration-ack", regTarget)) failedAttempts_ = 0;
    if (over()) co_return;
    const double hb = o_.heartbeat > 0 ? o_.heartbeat : double(st.p.heartbeat);
    if (hb > 0) heartbeat_.start(int(hb * 1000));
    // Records a lost connection left unacknowledged go again, as they were: that
    // upload then stands for the one the lost connection cut short.
    bool uploadNext = !unacked_;
    if (unacked_) {
        long target = answered_["upload-ack"] + 1;
        awaitingAck_ = unacked_;
        send("upload", *unacked_, "upload-ack", true);
        co_await waitAnswer("upload-ack", target);
        if (over()) co_return;
        target = answered_["end-answer"] + 1;
        send("upload-end", st.uploadEnd(), "end-answer");
        co_await waitAnswer("end-answer", target);
        if (over()) co_return;
        if (o_.once) onceDone_ = true;
    }
    if (onceDone_) co_return;   // uploaded already: heart beats only
    for (;;) {
        if (uploadNext) {
            co_await uploadCycle();
            if (over()) co_return;
            if (o_.once) {
                onceDone_ = true;
                co_return;
            }
        }
        uploadNext = true;
        const double every = o_.uploadEvery >= 0 ? o_.uploadEvery : double(st.p.upload) * 60.0;
        // The next upload: after the interval, or at once on an "upload now" request
        // (with no interval, only such a request starts another).
        const double due = Traffic::get().now() + every;
        while (!uploadNow_) {
            const double rem = due - Traffic::get().now();
            if (every > 0 && rem <= 0) break;
            co_await Nap{this, every > 0 ? long(rem * 1000) + 1 : -1};
            if (over()) co_return;
        }
        uploadNow_ = false;
    }
}

QCoro::Task<> NetTerminal::uploadCycle() {
    QPointer<NetTerminal> self(this);
    const int generation = generation_;
    const int records = o_.records >= 0 ? o_.records
                        : std::max(1, st.p.acquisition ? int(st.p.upload / st.p.acquisition) : 1);
    if (o_.has(Fault::Garbage)) {
        Bytes g = Garbage(rng_, 24);
        Traffic::get().frame(st.p.barCode, true, "garbage", g);
        writer_->enqueue({g}, 0);
        co_await QCoro::sleepFor(std::chrono::milliseconds(300));
        if (!self || finished_) co_return;
    }
    if (o_.has(Fault::OversizedDatagram)) {
        Bytes big = st.rawUpload(8200);   // 32,835 bytes
        Traffic::get().frame(st.p.barCode, true, "oversized", big);
        writer_->enqueue({big}, 0);
        co_await QCoro::sleepFor(std::chrono::milliseconds(300));
        if (!self || finished_) co_return;
    }
    const bool heat = o_.heatMeters > 0 || o_.has(Fault::HeatOvercount);
    if (o_.has(Fault::DisconnectMidFrame)) {
        Bytes f = st.upload(records);
        f.resize(f.size() / 2);
        Traffic::get().frame(st.p.barCode, true, "upload", f, ",\"cut\":true");
        writer_->enqueue({f}, 0, [self] {
            if (self) self->finish(true, "");
        });
        co_return;
    }
    if (o_.has(Fault::Coalesced)) {
        std::vector<std::string> kinds{"upload"}, expects{"upload-ack"};
        Bytes up = st.upload(records);
        Shaped all = Shape(up, o_, true);
        Traffic::get().frame(st.p.barCode, true, "upload", all.wire);
        Bytes joined = all.wire;
        if (heat) {
            Shaped h = Shape(st.heatUpload(o_.heatMeters, o_.has(Fault::HeatOvercount)), o_, true);
            Traffic::get().frame(st.p.barCode, true, "heat-upload", h.wire);
            joined.insert(joined.end(), h.wire.begin(), h.wire.end());
            kinds.push_back("heat-upload");
            expects.push_back("heat-ack");
        }
        Shaped e = Shape(st.uploadEnd(), o_, false);
        Traffic::get().frame(st.p.barCode, true, "upload-end", e.wire);
        joined.insert(joined.end(), e.wire.begin(), e.wire.end());
        kinds.push_back("upload-end");
        expects.push_back("end-answer");
        const long target = answered_["end-answer"] + 1;
        Shaped one;
        one.pieces = {joined};
        sendShaped("upload", std::move(one), kinds, expects);
        co_await waitAnswer("end-answer", target);
        co_return;
    }
    long target = answered_["upload-ack"] + 1;
    Bytes upload = st.upload(records);
    if (o_.reconnect) unacked_ = upload;
    awaitingAck_ = upload;
    send("upload", std::move(upload), "upload-ack", true);
    co_await waitAnswer("upload-ack", target);
    if (!self || finished_ || generation != generation_) co_return;
    if (heat) {
        target = answered_["heat-ack"] + 1;
        send("heat-upload", st.heatUpload(o_.heatMeters, o_.has(Fault::HeatOvercount)), "heat-ack", true);
        co_await waitAnswer("heat-ack", target);
        if (!self || finished_) co_return;
    }
    target = answered_["end-answer"] + 1;
    send("upload-end", st.uploadEnd(), "end-answer");
    co_await waitAnswer("end-answer", target);
}

void NetTerminal::onReadable() {
    if (!sock_) return;
    const double now = Traffic::get().now();
    if (tcp_) {
        const QByteArray d = sock_->readAll();
        for (auto& b : cutter_.feed(ByteView(reinterpret_cast<const std::uint8_t*>(d.constData()), std::size_t(d.size())), now))
            handle(b);
        return;
    }
    auto* u = static_cast<QUdpSocket*>(sock_);
    while (u->hasPendingDatagrams()) {
        QByteArray d(int(std::max<qint64>(0, u->pendingDatagramSize())), '\0');
        const qint64 r = u->readDatagram(d.data(), d.size());
        if (r < 0) break;
        d.resize(int(r));
        // Each datagram is one frame: nothing is carried over to the next one.
        cutter_.clear();
        for (auto& b : cutter_.feed(ByteView(reinterpret_cast<const std::uint8_t*>(d.constData()), std::size_t(d.size())), now))
            handle(b);
        if (cutter_.holding()) handle(cutter_.takeHeld());
    }
}

void NetTerminal::handle(const Cutter::Block& b) {
    const std::string term = st.p.barCode;
    const std::string kind = b.garbage ? "garbage" : ClassifyFromDataCentre(b.bytes);
    std::string extra;
    if (kind == "request") {
        auto a = st.handleRequest(b.bytes);
        if (!a.op.empty()) extra += Extra("op", a.op);
        if (b.preamble) extra += ",\"preamble\":true";
        if (!a.ignored.empty()) extra += Extra("ignored", a.ignored);
        Traffic::get().frame(term, false, kind, b.bytes, extra);
        if (!a.ignored.empty()) Report(term, "request not answered: " + a.ignored);
        if (a.response) send("response", *a.response, "", true);
        if (a.uploadNow) {
            uploadNow_ = true;
            wake();
        }
        return;
    }
    if (kind == "upload-ack") {
        unacked_.reset();
        if (awaitingAck_) Traffic::get().acknowledged(*awaitingAck_);
        awaitingAck_.reset();
    }
    if (kind == "upload-ack" && b.bytes.size() >= 22) {
        // The acknowledgement carries the data centre's clock and its mode byte.
        st.setClockBcd({b.bytes[12], b.bytes[13], b.bytes[14], b.bytes[15], b.bytes[16], b.bytes[17]});
        extra += ",\"mode\":" + std::to_string(b.bytes[18]);
    }
    if (kind == "end-answer") extra += ",\"code\":" + std::to_string(b.bytes[1]);
    Traffic::get().frame(term, false, kind, b.bytes, extra);
    auto& q = pending_[kind];
    if (!q.empty()) {
        const Pending p = q.front();
        q.pop_front();
        Traffic::get().latency(p.sentKind, std::max(0.0, (b.firstByteAt - p.endAt) * 1000.0));
    }
    ++answered_[kind];
    wake();
}

}  // namespace sim
