// floor_server: the least a data centre must do, as the cost floor of the load runs.
//
// Answers exactly what reference_server.py answers, byte for byte, after the same
// reply delay, on 127.0.0.1 only:
//
//   registration (0x01)            -> 0x71, payload 00 00 00
//   heart beat (0x02, 18+ bytes)   -> 0x72, payload 00 00 00      (TCP only)
//   room-temperature upload 0x2C   -> 0x9C, BCD clock + mode byte 0x01
//   heat-meter records 0x2C 03 05  -> 0x9C, 03 05 n + the n tags
//   upload-end notice 71 05 02 00 AB (15+ bytes) -> 51 07 02 00 AB
//
// TCP arrivals are cut as reference_server.py's cut() does: a block starting "QV"
// or "qv" ends after 15 + its length field; other bytes go on as they came, up to
// the next "QV"/"qv". One thread, one epoll loop, non-blocking sockets, one timerfd
// over a queue of due replies; no store, no log, no decoding beyond choosing the
// answer.
//
//     floor_server --tcp|--udp [--port P] [--delay 1.0]
//
// Prints "port: P" once listening; on SIGTERM/SIGINT one JSON line with the blocks
// handled, the replies sent and the connections accepted, then exits 0.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/Frame.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr int kBacklog = 8192;
constexpr std::size_t kMaxUdpAnswered = 32767;   // longer datagrams are counted, not answered

std::int64_t MonotonicNs() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return std::int64_t(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "floor_server: %s: %s\n", what, std::strerror(errno));
    std::exit(1);
}

// ---- the answers --------------------------------------------------------------

std::uint8_t Bcd(int v) { return std::uint8_t(((v / 10) << 4) | (v % 10)); }

// The host clock as the upload acknowledgement carries it, YY MM DD hh mm ss 01;
// local time, worked out once a second.
const std::uint8_t* ClockPayload() {
    static std::time_t last = -1;
    static std::uint8_t payload[7];
    const std::time_t now = std::time(nullptr);
    if (now != last) {
        std::tm t{};
        localtime_r(&now, &t);
        const std::uint8_t p[7] = {Bcd(t.tm_year % 100), Bcd(t.tm_mon + 1), Bcd(t.tm_mday), Bcd(t.tm_hour),
                                   Bcd(t.tm_min), Bcd(t.tm_sec), 0x01};
        std::memcpy(payload, p, sizeof p);
        last = now;
    }
    return payload;
}

// Appends a "qv" reply frame: code, the 7 address bytes, length, payload, CRC, 0D.
void AppendReply(Bytes& out, std::uint8_t code, const std::uint8_t* address, const std::uint8_t* payload,
                 std::size_t length) {
    const std::size_t start = out.size();
    out.push_back(ht6630::kReplyStart1);
    out.push_back(ht6630::kReplyStart2);
    out.push_back(code);
    out.insert(out.end(), address, address + 7);
    out.push_back(std::uint8_t(length >> 8));
    out.push_back(std::uint8_t(length & 0xFF));
    out.insert(out.end(), payload, payload + length);
    const unsigned crc = ht6630::Crc16Modbus(ht6630::ByteView(out.data() + start, out.size() - start));
    out.push_back(std::uint8_t(crc & 0xFF));
    out.push_back(std::uint8_t(crc >> 8));
    out.push_back(ht6630::kTerminator);
}

// Appends the reply frames of one block to `out`, in the order the console sends
// them; ends[i] is where frame i ends in `out`. Returns the number of frames (0-2).
int Answers(const std::uint8_t* b, std::size_t n, bool tcp, Bytes& out, std::size_t ends[2]) {
    static constexpr std::uint8_t kZeros[3] = {0, 0, 0};
    if (n <= 14) return 0;
    int count = 0;
    if (b[0] == 0x51 && b[1] == 0x56 && b[n - 1] == 0x0D) {
        const std::uint8_t* address = b + 3;
        switch (b[2]) {
        case 0x01:
            AppendReply(out, 0x71, address, kZeros, 3);
            ends[count++] = out.size();
            break;
        case 0x02:
            if (tcp && n >= 18) {
                AppendReply(out, 0x72, address, kZeros, 3);
                ends[count++] = out.size();
            }
            break;
        case 0x2C:
            if (b[12] == 0x10 && b[13] == 0x02) {
                AppendReply(out, 0x9C, address, ClockPayload(), 7);
                ends[count++] = out.size();
            }
            if (n > 16 && b[14] == 0x03 && b[15] == 0x05) {
                std::uint8_t payload[3 + 255];
                const unsigned k = b[16];
                std::size_t len = 0;
                payload[len++] = 0x03;
                payload[len++] = 0x05;
                payload[len++] = std::uint8_t(k);
                for (unsigned i = 0; i < k && 17 + 62 * std::size_t(i) < n; ++i) payload[len++] = b[17 + 62 * i];
                AppendReply(out, 0x9C, address, payload, len);
                ends[count++] = out.size();
            }
            break;
        default:
            break;
        }
    } else if (b[0] == 0x71 && b[1] == 0x05 && b[2] == 0x02 && b[3] == 0x00 && b[4] == 0xAB) {
        static constexpr std::uint8_t kEndAnswer[5] = {0x51, 0x07, 0x02, 0x00, 0xAB};
        out.insert(out.end(), kEndAnswer, kEndAnswer + 5);
        ends[count++] = out.size();
    }
    return count;
}

bool FrameStartAt(const std::uint8_t* d, std::size_t i) {
    return (d[i] == 0x51 && d[i + 1] == 0x56) || (d[i] == 0x71 && d[i + 1] == 0x76);
}

// Cuts d[0, n) into blocks, calling block(p, len) for each; returns how many bytes
// were used (the rest waits for more). Exactly reference_server.py's cut().
template <class F>
std::size_t Cut(const std::uint8_t* d, std::size_t n, F&& block) {
    std::size_t pos = 0;
    while (pos < n) {
        const std::size_t avail = n - pos;
        if (avail >= 2 && FrameStartAt(d, pos)) {
            if (avail < 12) break;
            const std::size_t total = 15 + (std::size_t(d[pos + 10]) << 8 | d[pos + 11]);
            if (avail < total) break;
            block(d + pos, total);
            pos += total;
        } else if (avail == 1 && (d[pos] == 0x51 || d[pos] == 0x71)) {
            break;
        } else {
            std::size_t next = pos + 1;   // up to the next frame start, as it came
            while (next + 1 < n && !FrameStartAt(d, next)) ++next;
            if (next + 1 >= n) next = n;
            block(d + pos, next - pos);
            pos = next;
        }
    }
    return pos;
}

// ---- the loop ---------------------------------------------------------------------

struct Stats {
    unsigned long long blocks = 0, replies = 0, connections = 0;
};

// One block's replies on one connection, due at the same moment.
struct PendingReply {
    Bytes frames;
    unsigned count = 0;
};

struct Connection {
    int fd = -1;
    std::uint64_t serial = 0;
    Bytes in;                          // the start of a block still to come
    std::deque<PendingReply> pending;  // in the order of the due queue's entries for it
    Bytes out;                         // what a short write left
    std::size_t outAt = 0;
};

// A due reply. The delay is one constant and the clock is monotonic, so entries
// arrive in deadline order and a FIFO is the deadline-ordered queue.
struct DueTcp {
    std::int64_t due;
    int fd;
    std::uint64_t serial;
};

struct DueUdp {
    std::int64_t due;
    sockaddr_in to;
    Bytes frame;
};

class Server {
public:
    Server(bool tcp, int port, std::int64_t delayNs) : tcp_(tcp), delayNs_(delayNs) {
        epoll_ = epoll_create1(EPOLL_CLOEXEC);
        if (epoll_ < 0) Fail("epoll_create1");
        sigset_t mask;
        sigemptyset(&mask);
        sigaddset(&mask, SIGTERM);
        sigaddset(&mask, SIGINT);
        if (sigprocmask(SIG_BLOCK, &mask, nullptr) != 0) Fail("sigprocmask");
        signal(SIGPIPE, SIG_IGN);
        signals_ = signalfd(-1, &mask, SFD_NONBLOCK | SFD_CLOEXEC);
        if (signals_ < 0) Fail("signalfd");
        timer_ = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
        if (timer_ < 0) Fail("timerfd_create");
        spare_ = open("/dev/null", O_RDONLY | O_CLOEXEC);

        sock_ = socket(AF_INET, (tcp ? SOCK_STREAM : SOCK_DGRAM) | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (sock_ < 0) Fail("socket");
        if (tcp) {
            const int one = 1;
            setsockopt(sock_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        }
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(std::uint16_t(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (bind(sock_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) Fail("bind");
        if (tcp && listen(sock_, kBacklog) != 0) Fail("listen");
        socklen_t len = sizeof a;
        getsockname(sock_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);

        Watch(signals_, EPOLLIN);
        Watch(timer_, EPOLLIN);
        Watch(sock_, EPOLLIN);
    }

    int port() const { return port_; }

    // Runs until SIGTERM or SIGINT.
    const Stats& run() {
        epoll_event events[512];
        for (;;) {
            const int n = epoll_wait(epoll_, events, 512, -1);
            if (n < 0) {
                if (errno == EINTR) continue;
                Fail("epoll_wait");
            }
            for (int i = 0; i < n; ++i) {
                const int fd = events[i].data.fd;
                const std::uint32_t ev = events[i].events;
                if (fd == signals_) return stats_;
                if (fd == timer_) {
                    Expire();
                } else if (fd == sock_) {
                    if (tcp_) {
                        Accept();
                    } else {
                        if (ev & EPOLLIN) ReadDatagrams();
                        if (ev & EPOLLOUT) FlushUdp();
                    }
                } else {
                    Connection* c = Find(fd);
                    if (!c) continue;                         // closed earlier in this pass
                    if (ev & EPOLLOUT) {
                        if (!FlushTcp(*c)) continue;
                    }
                    if (ev & (EPOLLIN | EPOLLHUP | EPOLLERR)) ReadStream(*c);
                }
            }
        }
    }

private:
    void Watch(int fd, std::uint32_t events) {
        epoll_event e{};
        e.events = events;
        e.data.fd = fd;
        if (epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &e) != 0) Fail("epoll_ctl");
    }

    void Rewatch(int fd, std::uint32_t events) {
        epoll_event e{};
        e.events = events;
        e.data.fd = fd;
        epoll_ctl(epoll_, EPOLL_CTL_MOD, fd, &e);
    }

    Connection* Find(int fd) {
        return std::size_t(fd) < connections_.size() ? connections_[std::size_t(fd)].get() : nullptr;
    }

    // Sets the timer to the first due reply, when it is not set there already.
    void Arm(std::int64_t due) {
        if (due == armed_) return;
        itimerspec t{};
        if (due > 0) {
            t.it_value.tv_sec = due / 1'000'000'000;
            t.it_value.tv_nsec = due % 1'000'000'000;
        }
        timerfd_settime(timer_, TFD_TIMER_ABSTIME, &t, nullptr);
        armed_ = due;
    }

    // ---- TCP

    void Accept() {
        for (int i = 0; i < 256; ++i) {
            const int fd = accept4(sock_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd < 0) {
                if (errno == EMFILE || errno == ENFILE) {
                    // Out of descriptors: take the waiting connection and close it, so
                    // that the level-triggered listener does not spin.
                    if (spare_ >= 0) {
                        close(spare_);
                        const int drop = accept(sock_, nullptr, nullptr);
                        if (drop >= 0) close(drop);
                        spare_ = open("/dev/null", O_RDONLY | O_CLOEXEC);
                    }
                    return;
                }
                if (errno == EINTR || errno == ECONNABORTED) continue;
                return;   // EAGAIN: all taken
            }
            const int one = 1;
            setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            if (std::size_t(fd) >= connections_.size()) connections_.resize(std::size_t(fd) + 1024);
            auto c = std::make_unique<Connection>();
            c->fd = fd;
            c->serial = ++serials_;
            connections_[std::size_t(fd)] = std::move(c);
            Watch(fd, EPOLLIN);
            ++stats_.connections;
        }
    }

    // Closing drops the connection's pending replies with it.
    void Close(Connection& c) {
        const int fd = c.fd;
        close(fd);
        connections_[std::size_t(fd)].reset();
    }

    void ReadStream(Connection& c) {
        for (;;) {
            const ssize_t n = recv(c.fd, buf_, sizeof buf_, 0);
            if (n == 0) return Close(c);
            if (n < 0) {
                if (errno == EAGAIN || errno == EWOULDBLOCK) return;
                if (errno == EINTR) continue;
                return Close(c);
            }
            const std::int64_t due = MonotonicNs() + delayNs_;
            auto block = [&](const std::uint8_t* p, std::size_t len) { Block(c, p, len, due); };
            if (c.in.empty()) {
                const std::size_t used = Cut(buf_, std::size_t(n), block);
                c.in.assign(buf_ + used, buf_ + n);
            } else {
                c.in.insert(c.in.end(), buf_, buf_ + n);
                const std::size_t used = Cut(c.in.data(), c.in.size(), block);
                c.in.erase(c.in.begin(), c.in.begin() + std::ptrdiff_t(used));
            }
            if (std::size_t(n) < sizeof buf_) return;
        }
    }

    void Block(Connection& c, const std::uint8_t* p, std::size_t len, std::int64_t due) {
        ++stats_.blocks;
        PendingReply r;
        std::size_t ends[2];
        r.count = unsigned(Answers(p, len, true, r.frames, ends));
        if (r.count == 0) return;
        c.pending.push_back(std::move(r));
        tcpDue_.push_back({due, c.fd, c.serial});
        if (tcpDue_.size() == 1) Arm(due);
    }

    // Sends what is due; a connection gone since (or its descriptor reused) is skipped.
    void Expire() {
        std::uint64_t ticks;
        while (read(timer_, &ticks, sizeof ticks) > 0) {
        }
        armed_ = -1;
        const std::int64_t now = MonotonicNs();
        if (tcp_) {
            while (!tcpDue_.empty() && tcpDue_.front().due <= now) {
                const DueTcp d = tcpDue_.front();
                tcpDue_.pop_front();
                Connection* c = Find(d.fd);
                if (!c || c->serial != d.serial || c->pending.empty()) continue;
                PendingReply r = std::move(c->pending.front());
                c->pending.pop_front();
                stats_.replies += r.count;
                Send(*c, r.frames);
            }
            Arm(tcpDue_.empty() ? 0 : tcpDue_.front().due);
        } else {
            while (!udpDue_.empty() && udpDue_.front().due <= now) {
                DueUdp& d = udpDue_.front();
                ++stats_.replies;
                SendTo(d.to, std::move(d.frame));
                udpDue_.pop_front();
            }
            Arm(udpDue_.empty() ? 0 : udpDue_.front().due);
        }
    }

    void Send(Connection& c, const Bytes& frames) {
        if (c.outAt < c.out.size()) {   // bytes still wait: these go after them
            c.out.insert(c.out.end(), frames.begin(), frames.end());
            return;
        }
        std::size_t sent = 0;
        while (sent < frames.size()) {
            const ssize_t n = send(c.fd, frames.data() + sent, frames.size() - sent, MSG_NOSIGNAL);
            if (n >= 0) {
                sent += std::size_t(n);
                continue;
            }
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) break;
            return Close(c);
        }
        if (sent == frames.size()) return;
        c.out.assign(frames.begin() + std::ptrdiff_t(sent), frames.end());
        c.outAt = 0;
        Rewatch(c.fd, EPOLLIN | EPOLLOUT);
    }

    // Writes what waits; false when the connection was closed.
    bool FlushTcp(Connection& c) {
        while (c.outAt < c.out.size()) {
            const ssize_t n = send(c.fd, c.out.data() + c.outAt, c.out.size() - c.outAt, MSG_NOSIGNAL);
            if (n >= 0) {
                c.outAt += std::size_t(n);
                continue;
            }
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) return true;
            Close(c);
            return false;
        }
        Bytes().swap(c.out);
        c.outAt = 0;
        Rewatch(c.fd, EPOLLIN);
        return true;
    }

    // ---- UDP

    void ReadDatagrams() {
        for (int i = 0; i < 256; ++i) {
            sockaddr_in from{};
            socklen_t len = sizeof from;
            const ssize_t n = recvfrom(sock_, buf_, sizeof buf_, 0, reinterpret_cast<sockaddr*>(&from), &len);
            if (n < 0) {
                if (errno == EINTR) continue;
                return;   // EAGAIN, or an error report of an earlier send
            }
            ++stats_.blocks;
            if (std::size_t(n) > kMaxUdpAnswered) continue;
            frames_.clear();
            std::size_t ends[2];
            const int count = Answers(buf_, std::size_t(n), false, frames_, ends);
            if (count == 0) continue;
            const std::int64_t due = MonotonicNs() + delayNs_;
            std::size_t begin = 0;
            for (int k = 0; k < count; ++k) {
                udpDue_.push_back({due, from, Bytes(frames_.begin() + std::ptrdiff_t(begin),
                                                    frames_.begin() + std::ptrdiff_t(ends[k]))});
                begin = ends[k];
            }
            if (udpDue_.size() == std::size_t(count)) Arm(due);
        }
    }

    void SendTo(const sockaddr_in& to, Bytes frame) {
        if (udpOut_.empty()) {
            for (;;) {
                const ssize_t n = sendto(sock_, frame.data(), frame.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                                         sizeof to);
                if (n >= 0) return;
                if (errno == EINTR) continue;
                if (errno != EAGAIN && errno != EWOULDBLOCK && errno != ENOBUFS) return;   // lost, as UDP is
                break;
            }
            Rewatch(sock_, EPOLLIN | EPOLLOUT);
        }
        udpOut_.push_back({0, to, std::move(frame)});
    }

    void FlushUdp() {
        while (!udpOut_.empty()) {
            const DueUdp& d = udpOut_.front();
            const ssize_t n = sendto(sock_, d.frame.data(), d.frame.size(), 0,
                                     reinterpret_cast<const sockaddr*>(&d.to), sizeof d.to);
            if (n < 0) {
                if (errno == EINTR) continue;
                if (errno == EAGAIN || errno == EWOULDBLOCK || errno == ENOBUFS) return;
            }
            udpOut_.pop_front();
        }
        Rewatch(sock_, EPOLLIN);
    }

    bool tcp_;
    std::int64_t delayNs_;
    int epoll_ = -1, signals_ = -1, timer_ = -1, sock_ = -1, spare_ = -1;
    int port_ = 0;
    std::int64_t armed_ = -1;
    std::uint64_t serials_ = 0;
    Stats stats_;
    std::vector<std::unique_ptr<Connection>> connections_;   // by descriptor
    std::deque<DueTcp> tcpDue_;
    std::deque<DueUdp> udpDue_;
    std::deque<DueUdp> udpOut_;   // datagrams a full send buffer held back
    Bytes frames_;
    std::uint8_t buf_[65536];
};

void RaiseFileLimit() {
    rlimit r{};
    if (getrlimit(RLIMIT_NOFILE, &r) == 0 && r.rlim_cur < r.rlim_max) {
        r.rlim_cur = r.rlim_max;
        setrlimit(RLIMIT_NOFILE, &r);
    }
}

constexpr const char* kUsage =
    "usage: floor_server --tcp|--udp [--port P] [--delay SECONDS]\n"
    "\n"
    "The load runs' cost floor: answers the terminals' frames as reference_server.py\n"
    "does, on 127.0.0.1, after the reply delay (default 1.0 s). Prints \"port: P\" once\n"
    "listening and, on SIGTERM/SIGINT, {\"blocks\": N, \"replies\": N, \"connections\": N}.\n";

[[noreturn]] void Usage(const char* problem) {
    std::fprintf(stderr, "%sfloor_server: %s\n", kUsage, problem);
    std::exit(2);
}

}  // namespace

int main(int argc, char** argv) {
    int mode = 0;   // 1 TCP, 2 UDP
    long port = 0;
    double delay = 1.0;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i], value;
        const std::size_t eq = arg.find('=');
        const bool inlineValue = arg.starts_with("--") && eq != std::string_view::npos;
        if (inlineValue) {
            value = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
        }
        auto next = [&]() -> std::string {
            if (inlineValue) return std::string(value);
            if (i + 1 >= argc) Usage("an option lacks its value");
            return argv[++i];
        };
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--version") {
            std::printf("floor_server %s\n", HT6630_VERSION);
            return 0;
        } else if (arg == "--tcp" || arg == "--udp") {
            const int m = arg == "--tcp" ? 1 : 2;
            if (mode && mode != m) Usage("--tcp and --udp exclude each other");
            mode = m;
        } else if (arg == "--port") {
            const std::string v = next();
            char* end = nullptr;
            port = std::strtol(v.c_str(), &end, 10);
            if (v.empty() || *end || port < 0 || port > 65535) Usage("--port takes 0..65535");
        } else if (arg == "--delay") {
            const std::string v = next();
            char* end = nullptr;
            delay = std::strtod(v.c_str(), &end);
            if (v.empty() || *end || !std::isfinite(delay) || delay < 0) Usage("--delay takes seconds >= 0");
        } else {
            Usage("unknown argument");
        }
    }
    if (!mode) Usage("one of --tcp and --udp is required");
    RaiseFileLimit();
    Server server(mode == 1, int(port), std::int64_t(std::llround(delay * 1e9)));
    std::printf("port: %d\n", server.port());
    std::fflush(stdout);
    const Stats& s = server.run();
    std::printf("{\"blocks\": %llu, \"replies\": %llu, \"connections\": %llu}\n", s.blocks, s.replies,
                s.connections);
    std::fflush(stdout);
    return 0;
}
