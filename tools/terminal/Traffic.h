#pragma once
// The simulator's output (one JSON line per frame, the summary), its paced
// writer, and the cutter that splits received bytes into frames.
#include <QObject>
#include <QTimer>

#include <cstdio>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "protocol/Bytes.h"

namespace sim {

using ht6630::ByteView;
using ht6630::Bytes;

class Traffic {
public:
    static Traffic& get();
    bool quiet = false;
    double now() const;   // seconds since start
    // One line: {"t":…,"term":…,"dir":…,"kind":…,"hex":…<extra>}. `extra` is
    // pre-formatted JSON members, each starting with a comma.
    void frame(const std::string& term, bool tx, const std::string& kind, ByteView bytes,
               const std::string& extra = {});
    void latency(const std::string& kind, double ms) { latency_[kind].push_back(ms); }
    void printSummary(int terminals, long missing, long errors);
    // The acknowledged-records file (--acked): opened once, a line per record.
    bool openAckedLog(const std::string& path);
    void acknowledged(ByteView upload);

private:
    std::FILE* acked_ = nullptr;
    std::map<std::string, long> sent_, received_;
    std::map<std::string, std::vector<double>> latency_;
};

std::string JsonString(const std::string& s);

// Hands bytes to a sink piece by piece, with pauses between pieces, in order.
class Writer : public QObject {
public:
    using Sink = std::function<bool(ByteView)>;
    explicit Writer(Sink sink, QObject* parent = nullptr);
    // `pieces` are written in order with `pauseMs` before every piece but the first;
    // `done` runs after the last one was handed over (or the sink failed).
    void enqueue(std::vector<Bytes> pieces, int pauseMs, std::function<void()> done = {});
    bool idle() const { return queue_.empty(); }
    void clear();   // drops what is queued (the connection it was for is gone)

private:
    struct Piece { Bytes data; int pauseMs; std::function<void()> done; };
    void pump();
    Sink sink_;
    std::deque<Piece> queue_;
    QTimer timer_;
    bool paused_ = false;
};

// Splits a byte stream into frames: "QV"/"qv" frames by their length field, the
// 5-byte short frames 0x51 c 0x02 x 0xAB, leading zero bytes (the wake-up
// preamble) skipped; anything else comes out as a "garbage" block.
class Cutter {
public:
    struct Block { Bytes bytes; bool garbage = false; bool preamble = false; double firstByteAt = 0; std::size_t contiguousEnd = 0; };
    std::vector<Block> feed(ByteView data, double now);
    bool holding() const { return !held_.empty(); }
    double heldSince() const { return heldSince_; }
    Block takeHeld();   // what is held, as a garbage block
    void clear() { held_.clear(); sawPreamble_ = false; }

private:
    Bytes held_;
    double heldSince_ = 0;
    bool sawPreamble_ = false;
};

// The frames a data centre sends, by the kind names of the output.
std::string ClassifyFromDataCentre(ByteView f);

}  // namespace sim
