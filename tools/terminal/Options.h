#pragma once
// Command-line options of ht6630-terminal.
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace sim {

enum class Fault {
    BadCrc, Truncated, Split, Coalesced, Drip, DisconnectMidFrame, Garbage, OversizedDatagram, HeatOvercount
};

struct Options {
    std::string serialDevice;
    int baud = 2400;
    char parity = 'E';
    bool pty = false;
    std::string tcpHost, udpHost;
    int tcpPort = 0, udpPort = 0;
    int count = 1;
    double heartbeat = -1;       // seconds; < 0: the terminal's heart-beat parameter
    double uploadEvery = -1;     // seconds; < 0: the terminal's upload interval
    int records = -1;            // < 0: upload interval / acquisition interval
    int heatMeters = 0;
    bool once = false;
    bool reconnect = false;      // a lost connection is made again (back-off, then the spare centre)
    double duration = -1;
    double ramp = 0;             // seconds over which --count terminals start; 0: paced batches
    double answerTimeout = 10;
    bool quiet = false;
    std::string ackedLog;   // --acked FILE: each acknowledged upload's records
    std::vector<std::string> sources;   // --source: local addresses (127.0.0.0/8), round-robin over the terminals
    unsigned seed = 1;
    std::set<Fault> faults;
    std::vector<std::pair<std::string, std::string>> sets;

    bool has(Fault f) const { return faults.count(f) != 0; }
    bool network() const { return !tcpHost.empty() || !udpHost.empty(); }
};

// Parses argv. Returns 0 to run, 1 after printing --help, 2 after printing an error.
int ParseOptions(int argc, char** argv, Options& o);

// Milliseconds between the pieces of a split frame and between dripped bytes.
inline constexpr int kSplitPauseMs = 200;
inline constexpr int kDripPauseMs = 10;

}  // namespace sim
