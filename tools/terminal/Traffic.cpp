#include "Traffic.h"

#include <QElapsedTimer>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "protocol/Readings.h"

namespace sim {

Traffic& Traffic::get() {
    static Traffic t;
    return t;
}

double Traffic::now() const {
    static QElapsedTimer clock = [] { QElapsedTimer e; e.start(); return e; }();
    return double(clock.nsecsElapsed()) / 1e9;
}

std::string JsonString(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') { out += '\\'; out += char(c); }
        else if (c < 0x20) { char buf[8]; std::snprintf(buf, sizeof buf, "\\u%04x", c); out += buf; }
        else out += char(c);
    }
    return out + "\"";
}

bool Traffic::openAckedLog(const std::string& path) {
    acked_ = std::fopen(path.c_str(), "a");
    return acked_ != nullptr;
}

void Traffic::acknowledged(ByteView upload) {
    if (!acked_) return;
    const auto decoded = ht6630::DecodeRoomUpload(upload);
    if (!decoded) return;
    // The host's clock now: the acknowledgement has just been read.
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(
                        std::chrono::system_clock::now().time_since_epoch()).count();
    char epoch[32];
    std::snprintf(epoch, sizeof epoch, ",%lld.%06lld\n", static_cast<long long>(us / 1000000),
                  static_cast<long long>(us % 1000000));
    std::string lines;
    for (const auto& r : decoded->records)
        if (r.time) lines += decoded->barCode + "," + ht6630::IsoText(*r.time) + epoch;
    std::fwrite(lines.data(), 1, lines.size(), acked_);
    std::fflush(acked_);   // the run may be ended by a signal
}

void Traffic::frame(const std::string& term, bool tx, const std::string& kind, ByteView bytes,
                    const std::string& extra) {
    ++(tx ? sent_ : received_)[kind];
    if (quiet) return;
    std::string line = "{\"t\":";
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.6f", now());
    line += buf;
    line += ",\"term\":" + JsonString(term) + ",\"dir\":\"" + (tx ? "tx" : "rx") + "\",\"kind\":" + JsonString(kind) +
            ",\"hex\":\"" + ht6630::ToHexSpaced(bytes) + "\"" + extra + "}\n";
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fflush(stdout);
}

void Traffic::printSummary(int terminals, long missing, long errors) {
    auto counts = [](const std::map<std::string, long>& m) {
        std::string s = "{";
        for (auto& [k, v] : m) s += (s.size() > 1 ? "," : "") + JsonString(k) + ":" + std::to_string(v);
        return s + "}";
    };
    std::string lat = "{";
    for (auto& [k, v] : latency_) {
        auto sorted = v;
        std::sort(sorted.begin(), sorted.end());
        auto pct = [&](double q) {
            std::size_t idx = std::size_t(std::ceil(q * double(sorted.size()))) ;
            return sorted[std::min(sorted.size() - 1, idx == 0 ? 0 : idx - 1)];
        };
        char buf[160];
        std::snprintf(buf, sizeof buf, "{\"min\":%.3f,\"p50\":%.3f,\"p99\":%.3f,\"max\":%.3f}", sorted.front(),
                      pct(0.50), pct(0.99), sorted.back());
        lat += (lat.size() > 1 ? "," : "") + JsonString(k) + ":" + buf;
    }
    lat += "}";
    std::string line = "{\"summary\":{\"terminals\":" + std::to_string(terminals) + ",\"sent\":" + counts(sent_) +
                       ",\"received\":" + counts(received_) + ",\"missing\":" + std::to_string(missing) +
                       ",\"errors\":" + std::to_string(errors) + ",\"latency_ms\":" + lat + "}}\n";
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fflush(stdout);
}

Writer::Writer(Sink sink, QObject* parent) : QObject(parent), sink_(std::move(sink)) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, this, [this] { paused_ = true; pump(); });
}

void Writer::enqueue(std::vector<Bytes> pieces, int pauseMs, std::function<void()> done) {
    const bool wasIdle = queue_.empty();
    for (std::size_t k = 0; k < pieces.size(); ++k)
        queue_.push_back({std::move(pieces[k]), k == 0 ? 0 : pauseMs, k + 1 == pieces.size() ? done : nullptr});
    if (pieces.empty() && done) done();
    if (wasIdle) pump();
}

void Writer::clear() {
    queue_.clear();
    timer_.stop();
    paused_ = false;
}

void Writer::pump() {
    while (!queue_.empty()) {
        Piece& p = queue_.front();
        if (p.pauseMs > 0 && !paused_) {
            timer_.start(p.pauseMs);
            return;
        }
        paused_ = false;
        Piece piece = std::move(p);
        queue_.pop_front();
        const bool ok = sink_(piece.data);
        if (piece.done) piece.done();
        if (!ok) {
            queue_.clear();
            return;
        }
    }
}

std::vector<Cutter::Block> Cutter::feed(ByteView data, double now) {
    std::vector<Block> out;
    if (held_.empty()) heldSince_ = now;
    held_.insert(held_.end(), data.begin(), data.end());
    std::size_t pos = 0;
    auto emitGarbage = [&](std::size_t len) {
        if (!out.empty() && out.back().garbage && out.back().contiguousEnd == pos) {
            out.back().bytes.insert(out.back().bytes.end(), held_.begin() + long(pos), held_.begin() + long(pos + len));
        } else {
            out.push_back({Bytes(held_.begin() + long(pos), held_.begin() + long(pos + len)), true, false, heldSince_});
        }
        pos += len;
        out.back().contiguousEnd = pos;
    };
    while (pos < held_.size()) {
        const std::size_t left = held_.size() - pos;
        const std::uint8_t b0 = held_[pos];
        if (b0 == 0x00) {   // preamble byte
            ++pos;
            sawPreamble_ = true;
            continue;
        }
        const bool start = b0 == 0x51 || b0 == 0x71;
        if (!start) {
            std::size_t len = 1;
            while (len < left && held_[pos + len] != 0x51 && held_[pos + len] != 0x71 && held_[pos + len] != 0x00) ++len;
            emitGarbage(len);
            continue;
        }
        if (left < 2) break;
        const std::uint8_t b1 = held_[pos + 1];
        if ((b0 == 0x51 && b1 == 0x56) || (b0 == 0x71 && b1 == 0x76)) {
            if (left < 12) break;
            const std::size_t total = 15 + (std::size_t(held_[pos + 10]) << 8 | held_[pos + 11]);
            if (left < total) break;
            out.push_back({Bytes(held_.begin() + long(pos), held_.begin() + long(pos + total)), false, sawPreamble_, heldSince_});
            sawPreamble_ = false;
            pos += total;
            continue;
        }
        if (left < 5) {
            // Could still become a short frame; wait unless it already cannot.
            if (left >= 3 && held_[pos + 2] != 0x02) { emitGarbage(1); continue; }
            break;
        }
        if (held_[pos + 2] == 0x02 && held_[pos + 4] == 0xAB) {
            out.push_back({Bytes(held_.begin() + long(pos), held_.begin() + long(pos + 5)), false, false, heldSince_});
            pos += 5;
            continue;
        }
        emitGarbage(1);
    }
    held_.erase(held_.begin(), held_.begin() + long(pos));
    if (!held_.empty() && pos > 0) heldSince_ = now;
    return out;
}

Cutter::Block Cutter::takeHeld() {
    Block b{std::move(held_), true, false, heldSince_};
    held_.clear();
    sawPreamble_ = false;
    return b;
}

std::string ClassifyFromDataCentre(ByteView f) {
    if (f.size() == 5 && f[0] == 0x51 && f[2] == 0x02 && f[4] == 0xAB) {
        if (f[1] == 0x06 && f[3] == 0xAA) return "setting-followup";
        if (f[3] == 0x00 && (f[1] == 0x05 || f[1] == 0x06 || f[1] == 0x07)) return "end-answer";
        return "short-frame";
    }
    if (f.size() >= 15 && f[0] == 0x51 && f[1] == 0x56) return "request";
    if (f.size() >= 15 && f[0] == 0x71 && f[1] == 0x76) {
        const std::size_t n = f.size() - 15;
        switch (f[2]) {
        case 0x71: return "registration-ack";
        case 0x72: return "heartbeat-ack";
        case 0x9C:
            if (n == 7) return "upload-ack";
            if (n >= 3 && f[12] == 0x03 && f[13] == 0x05) return "heat-ack";
            return "upload-ack";
        default: return "reply";
        }
    }
    return "garbage";
}

}  // namespace sim
