#include "Options.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string_view>

#include <arpa/inet.h>

#include "TerminalState.h"

namespace sim {

namespace {

const std::map<std::string_view, Fault>& FaultNames() {
    static const std::map<std::string_view, Fault> m{
        {"bad-crc", Fault::BadCrc},
        {"truncated", Fault::Truncated},
        {"split", Fault::Split},
        {"coalesced", Fault::Coalesced},
        {"drip", Fault::Drip},
        {"disconnect-mid-frame", Fault::DisconnectMidFrame},
        {"garbage", Fault::Garbage},
        {"oversized-datagram", Fault::OversizedDatagram},
        {"heat-overcount", Fault::HeatOvercount},
    };
    return m;
}

void PrintHelp() {
    std::printf(
        "Usage: ht6630-terminal [OPTIONS]\n"
        "Plays HT6630-QN room-temperature terminals: on a serial line (answering the\n"
        "configuration requests) and/or towards a data centre over TCP or UDP.\n"
        "\n"
        "Channels (at least one):\n"
        "  --serial DEVICE        answer requests on a serial device\n"
        "  --baud N               serial speed (default 2400)\n"
        "  --parity even|odd|none serial parity (default even)\n"
        "  --pty                  create a pseudo-terminal pair, print one line 'pty: /dev/pts/N'\n"
        "                         (the side to open) and answer requests on the other side\n"
        "  --tcp HOST:PORT        connect to a TCP data centre\n"
        "  --udp HOST:PORT        send datagrams to a UDP data centre\n"
        "\n"
        "Data-centre dialogue:\n"
        "  --count N              N terminals with consecutive bar codes, each on its own\n"
        "                         connection or socket (default 1)\n"
        "  --heartbeat S          seconds between heart beats (default: heart-beat parameter)\n"
        "  --upload-every S       seconds between uploads (default: upload parameter x 60;\n"
        "                         0 uploads once)\n"
        "  --records N            records per upload (default: upload / acquisition interval)\n"
        "  --heat-meters K        heat-meter records (0..3) uploaded after each upload\n"
        "  --once                 register, upload once, send the end notice, then keep\n"
        "                         answering until the data centre closes (or --duration)\n"
        "  --duration S           end the run after S seconds\n"
        "  --ramp S               start the --count terminals evenly over S seconds\n"
        "                         (default: batches of 200 every 25 ms)\n"
        "  --answer-timeout S     how long a step of the upload waits for its answer (default 10)\n"
        "  --reconnect            TCP: when the connection is lost or refused, connect again\n"
        "                         after 0.5, 1, 2 ... 8 s (with jitter): three tries at the\n"
        "                         data centre, then three at the spare one, and so on; register\n"
        "                         again and upload again the records not yet acknowledged\n"
        "  --source ADDR[,ADDR...]\n"
        "                         bind each terminal's socket to one of these local addresses\n"
        "                         in turn (127.0.0.0/8 only), so that a run can open more\n"
        "                         connections than the ports of one address allow\n"
        "  --seed N               seed of the random garbage (default 1)\n"
        "\n"
        "Terminal parameters (--set NAME=VALUE, repeatable):\n"
        "%s"
        "\n"
        "Faults (--fault NAME, repeatable):\n"
        "  bad-crc                every frame sent carries a wrong CRC\n"
        "  truncated              uploads (and serial responses) lose their last third\n"
        "  split                  every frame is written in three pieces, %d ms apart\n"
        "  coalesced              the upload, heat-meter uploads and end notice go in one\n"
        "                         write (serial: each response written twice in one write)\n"
        "  drip                   every frame is written one byte at a time, %d ms apart\n"
        "  disconnect-mid-frame   the first upload stops halfway and the connection (or\n"
        "                         socket) is closed\n"
        "  garbage                24 random bytes before each upload (and each response)\n"
        "  oversized-datagram     an upload of more than 32767 bytes before each upload\n"
        "                         (one datagram over UDP, one write over TCP)\n"
        "  heat-overcount         heat-meter uploads announce one record more than they hold\n"
        "                         (the last one cut short); sent even with --heat-meters 0\n"
        "\n"
        "Output: one JSON object per line for every frame sent or received\n"
        "  {\"t\":S,\"term\":BARCODE,\"dir\":\"tx\"|\"rx\",\"kind\":KIND,\"hex\":\"51 56 ...\"}\n"
        "  kinds sent: registration heartbeat upload heat-upload upload-end response garbage\n"
        "              oversized\n"
        "  kinds received: registration-ack heartbeat-ack upload-ack heat-ack end-answer\n"
        "              setting-followup short-frame request reply garbage\n"
        "  and a last line {\"summary\":{...}} at exit.\n"
        "  --quiet                print the summary only\n"
        "  --acked FILE           append \"barcode,time,epoch\" for each record of every upload\n"
        "                         the data centre acknowledged (what it must have kept); epoch:\n"
        "                         the host's clock when the acknowledgement came, in seconds\n"
        "                         since 1970 with 6 decimals\n"
        "\n"
        "Exit codes: 0 done, 2 bad arguments, 3 connection or port failure.\n",
        SetHelp(), kSplitPauseMs, kDripPauseMs);
}

int Fail(const std::string& msg) {
    std::fprintf(stderr, "ht6630-terminal: %s\nTry 'ht6630-terminal --help'.\n", msg.c_str());
    return 2;
}

bool ToDouble(const char* s, double lo, double hi, double* out) {
    char* end = nullptr;
    double v = std::strtod(s, &end);
    if (end == s || *end != '\0' || !(v >= lo && v <= hi)) return false;
    *out = v;
    return true;
}

bool ToInt(const char* s, long lo, long hi, long* out) {
    char* end = nullptr;
    long v = std::strtol(s, &end, 10);
    if (end == s || *end != '\0' || v < lo || v > hi) return false;
    *out = v;
    return true;
}

bool HostPort(const char* s, std::string* host, int* port) {
    std::string_view v(s);
    auto colon = v.rfind(':');
    if (colon == std::string_view::npos || colon == 0) return false;
    long p;
    std::string ps(v.substr(colon + 1));
    if (!ToInt(ps.c_str(), 1, 65535, &p)) return false;
    *host = std::string(v.substr(0, colon));
    *port = int(p);
    return true;
}

// "127.0.0.2,127.0.0.3": dotted IPv4 addresses in 127.0.0.0/8 only.
bool Sources(const char* s, std::vector<std::string>* out, std::string* bad) {
    std::string_view v(s);
    for (;;) {
        const auto comma = v.find(',');
        const std::string a(v.substr(0, comma));
        in_addr ia{};
        if (a.empty() || ::inet_pton(AF_INET, a.c_str(), &ia) != 1 || (ntohl(ia.s_addr) >> 24) != 127) {
            *bad = a;
            return false;
        }
        out->push_back(a);
        if (comma == std::string_view::npos) return true;
        v.remove_prefix(comma + 1);
    }
}

}  // namespace

int ParseOptions(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        std::string_view a = argv[i];
        auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        auto needs = [&](const char* v) { return v ? 0 : Fail(std::string("option ") + std::string(a) + " needs a value"); };
        if (a == "--help" || a == "-h") {
            PrintHelp();
            return 1;
        } else if (a == "--version") {
            std::printf("ht6630-terminal %s\n", HT6630_VERSION);
            return 1;
        } else if (a == "--pty") {
            o.pty = true;
        } else if (a == "--once") {
            o.once = true;
        } else if (a == "--reconnect") {
            o.reconnect = true;
        } else if (a == "--acked") {
            const char* v = value();
            if (int r = needs(v)) return r;
            o.ackedLog = v;
        } else if (a == "--source") {
            const char* v = value();
            if (int r = needs(v)) return r;
            std::string bad;
            if (!Sources(v, &o.sources, &bad))
                return Fail("--source: '" + bad + "' is not a loopback address (only 127.0.0.0/8 is accepted)");
        } else if (a == "--quiet") {
            o.quiet = true;
        } else if (a == "--serial") {
            const char* v = value();
            if (int r = needs(v)) return r;
            o.serialDevice = v;
        } else if (a == "--baud") {
            const char* v = value();
            if (int r = needs(v)) return r;
            long n;
            if (!ToInt(v, 50, 4000000, &n)) return Fail("bad --baud value");
            o.baud = int(n);
        } else if (a == "--parity") {
            const char* v = value();
            if (int r = needs(v)) return r;
            std::string_view p(v);
            if (p == "even") o.parity = 'E';
            else if (p == "odd") o.parity = 'O';
            else if (p == "none") o.parity = 'N';
            else return Fail("bad --parity value (even, odd or none)");
        } else if (a == "--tcp" || a == "--udp") {
            const char* v = value();
            if (int r = needs(v)) return r;
            bool ok = a == "--tcp" ? HostPort(v, &o.tcpHost, &o.tcpPort) : HostPort(v, &o.udpHost, &o.udpPort);
            if (!ok) return Fail(std::string("bad ") + std::string(a) + " value, expected HOST:PORT");
        } else if (a == "--count") {
            const char* v = value();
            if (int r = needs(v)) return r;
            long n;
            if (!ToInt(v, 1, 100000, &n)) return Fail("bad --count value (1..100000)");
            o.count = int(n);
        } else if (a == "--records") {
            const char* v = value();
            if (int r = needs(v)) return r;
            long n;
            if (!ToInt(v, 0, 8185, &n)) return Fail("bad --records value (0..8185)");
            o.records = int(n);
        } else if (a == "--heat-meters") {
            const char* v = value();
            if (int r = needs(v)) return r;
            long n;
            if (!ToInt(v, 0, 3, &n)) return Fail("bad --heat-meters value (0..3)");
            o.heatMeters = int(n);
        } else if (a == "--seed") {
            const char* v = value();
            if (int r = needs(v)) return r;
            long n;
            if (!ToInt(v, 0, 2147483647, &n)) return Fail("bad --seed value");
            o.seed = unsigned(n);
        } else if (a == "--heartbeat" || a == "--upload-every" || a == "--duration" || a == "--answer-timeout" ||
                   a == "--ramp") {
            const char* v = value();
            if (int r = needs(v)) return r;
            double d;
            if (!ToDouble(v, 0, 1e7, &d)) return Fail(std::string("bad ") + std::string(a) + " value (seconds)");
            if (a == "--heartbeat") {
                if (d <= 0) return Fail("--heartbeat must be above 0");
                o.heartbeat = d;
            } else if (a == "--upload-every") o.uploadEvery = d;
            else if (a == "--duration") o.duration = d;
            else if (a == "--ramp") o.ramp = d;
            else o.answerTimeout = d;
        } else if (a == "--fault") {
            const char* v = value();
            if (int r = needs(v)) return r;
            auto it = FaultNames().find(v);
            if (it == FaultNames().end()) return Fail(std::string("unknown fault '") + v + "' (see --help)");
            o.faults.insert(it->second);
        } else if (a == "--set") {
            const char* v = value();
            if (int r = needs(v)) return r;
            std::string_view s(v);
            auto eq = s.find('=');
            if (eq == std::string_view::npos || eq == 0) return Fail("--set expects NAME=VALUE");
            o.sets.emplace_back(std::string(s.substr(0, eq)), std::string(s.substr(eq + 1)));
        } else {
            return Fail("unknown argument '" + std::string(a) + "'");
        }
    }
    if (!o.pty && o.serialDevice.empty() && !o.network())
        return Fail("choose a channel: --serial DEVICE, --pty, --tcp HOST:PORT or --udp HOST:PORT");
    if (o.pty && !o.serialDevice.empty()) return Fail("--pty and --serial exclude each other");
    if (!o.tcpHost.empty() && !o.udpHost.empty()) return Fail("--tcp and --udp exclude each other");
    if (!o.sources.empty() && !o.network()) return Fail("--source needs --tcp or --udp");
    TerminalState probe;
    for (auto& [name, val] : o.sets)
        if (auto err = probe.set(name, val)) return Fail(*err);
    return 0;
}

}  // namespace sim
