// ht6630-terminal: plays HT6630-QN terminals for the console, on a serial line and
// towards a TCP or UDP data centre. See --help.
#include <QCoreApplication>
#include <QHostInfo>
#include <QElapsedTimer>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include "Channels.h"
#include "Options.h"
#include "TerminalState.h"
#include "core/EpollEventDispatcher.h"
#include "Traffic.h"

using namespace sim;

namespace {

int g_signalPipe[2] = {-1, -1};

void OnSignal(int) {
    const char c = 1;
    [[maybe_unused]] auto r = ::write(g_signalPipe[1], &c, 1);
}

// Each terminal needs a descriptor; thousands of them need more than the usual 1,024.
void RaiseFileLimit(int needed) {
    rlimit rl{};
    if (::getrlimit(RLIMIT_NOFILE, &rl) != 0) return;
    if (rl.rlim_cur < rl.rlim_max) {
        rl.rlim_cur = rl.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &rl);
    }
    if (rlim_t(needed) + 64 > rl.rlim_cur)
        std::fprintf(stderr, "ht6630-terminal: warning: %d terminals need more descriptors than the limit %llu\n",
                     needed, static_cast<unsigned long long>(rl.rlim_cur));
}

// Bar code number k after `base` (13 digits); empty when it would not fit.
std::string NthBarCode(const std::string& base, int k) {
    unsigned long long v = std::stoull(base) + unsigned(k);
    std::string s = std::to_string(v);
    if (s.size() > 13) return {};
    return std::string(13 - s.size(), '0') + s;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (int r = ParseOptions(argc, argv, o)) return r == 1 ? 0 : r;
    Traffic::get().now();   // starts the clock
    Traffic::get().quiet = o.quiet;
    if (!o.ackedLog.empty() && !Traffic::get().openAckedLog(o.ackedLog)) {
        std::fprintf(stderr, "ht6630-terminal: cannot open %s\n", o.ackedLog.c_str());
        return 2;
    }

    // A fleet holds thousands of sockets, each with its notifiers and timers: the
    // epoll dispatcher costs per event what is ready, where Qt's polls them all.
    QCoreApplication::setEventDispatcher(new core::EpollEventDispatcher);
    QCoreApplication app(argc, argv);
    RaiseFileLimit(o.count + 16);

    // SIGINT/SIGTERM end the run with the summary, from the event loop.
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) == 0) {
        struct sigaction sa{};
        sa.sa_handler = OnSignal;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART;
        ::sigaction(SIGINT, &sa, nullptr);
        ::sigaction(SIGTERM, &sa, nullptr);
    }
    std::signal(SIGPIPE, SIG_IGN);

    TerminalState first;
    for (auto& [name, val] : o.sets) first.set(name, val);

    long errors = 0;
    std::vector<NetTerminal*> terms;
    SerialSide* serial = nullptr;
    bool ending = false;

    auto finishRun = [&](int code) {
        if (ending) return;
        ending = true;
        long missing = 0;
        for (auto* t : terms) {
            missing += t->outstanding();
            if (t->failed()) ++errors;
        }
        Traffic::get().printSummary(o.network() ? o.count : 1, missing, errors);
        for (auto* t : terms) t->stop();
        if (code == 0 && errors > 0) code = 3;
        QCoreApplication::exit(code);
    };

    QSocketNotifier sigNotifier(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&sigNotifier, &QSocketNotifier::activated, [&] {
        char c;
        [[maybe_unused]] auto r = ::read(g_signalPipe[0], &c, 1);
        finishRun(0);
    });

    if (o.pty || !o.serialDevice.empty()) {
        serial = new SerialSide(o.network() ? nullptr : &first, o, &app);
        std::string err;
        if (o.network()) {
            // The serial line plays the first network terminal; set below.
        } else if (!serial->open(&err)) {
            std::fprintf(stderr, "ht6630-terminal: %s\n", err.c_str());
            Traffic::get().printSummary(1, 0, 1);
            return 3;
        }
        QObject::connect(serial, &SerialSide::failed, [&](const QString& why) {
            std::fprintf(stderr, "ht6630-terminal: %s\n", why.toLocal8Bit().constData());
            ++errors;
            finishRun(3);
        });
    }

    QTimer launcher;
    int launched = 0;
    QElapsedTimer rampClock;
    int doneCount = 0;  // read by the terminals' done handlers long after set-up
    if (o.network()) {
        const bool tcp = !o.tcpHost.empty();
        const QString hostText = QString::fromStdString(tcp ? o.tcpHost : o.udpHost);
        QHostAddress host(hostText);
        if (host.isNull()) {
            const QHostInfo info = QHostInfo::fromName(hostText);
            for (const auto& a : info.addresses())
                if (a.protocol() == QAbstractSocket::IPv4Protocol) { host = a; break; }
            if (host.isNull() && !info.addresses().isEmpty()) host = info.addresses().first();
        }
        if (host.isNull()) {
            std::fprintf(stderr, "ht6630-terminal: cannot resolve host '%s'\n", hostText.toLocal8Bit().constData());
            Traffic::get().printSummary(o.count, 0, 1);
            return 3;
        }
        const quint16 port = quint16(tcp ? o.tcpPort : o.udpPort);
        if (NthBarCode(first.p.barCode, o.count - 1).empty()) {
            std::fprintf(stderr, "ht6630-terminal: --count %d runs past the 13-digit bar codes\n", o.count);
            return 2;
        }
        terms.reserve(std::size_t(o.count));
        for (int i = 0; i < o.count; ++i) {
            auto* t = new NetTerminal(i, o, host, port, tcp, &app);
            t->st = first;
            t->st.phase = i;
            t->st.p.barCode = NthBarCode(first.p.barCode, i);
            terms.push_back(t);
            QObject::connect(t, &NetTerminal::done, [&, t] {
                ++doneCount;
                if (t->failed() && o.count == 1) { finishRun(3); return; }
                if (doneCount == o.count) finishRun(0);
            });
        }
        if (serial) {
            // The serial line answers for the first terminal, sharing its parameters.
            delete serial;
            serial = new SerialSide(&terms.front()->st, o, &app);
            std::string err;
            if (!serial->open(&err)) {
                std::fprintf(stderr, "ht6630-terminal: %s\n", err.c_str());
                return 3;
            }
            QObject::connect(serial, &SerialSide::failed, [&](const QString& why) {
                std::fprintf(stderr, "ht6630-terminal: %s\n", why.toLocal8Bit().constData());
                ++errors;
                finishRun(3);
            });
        }
        // Connections are opened in paced batches, so a listener's backlog keeps up;
        // with --ramp, evenly over that many seconds.
        constexpr int kBatch = 200;
        constexpr int kTickMs = 25;
        const auto due = [&](qint64 elapsedMs) {
            if (o.ramp <= 0) return std::min(o.count, launched + kBatch);
            return int(std::min<double>(o.count, double(o.count) * double(elapsedMs) / (o.ramp * 1000.0) + 1));
        };
        rampClock.start();
        // Copies of these lambdas outlive this block: `due` is captured by value.
        const auto launchDue = [&, due] {
            const int upTo = due(rampClock.elapsed());
            while (launched < upTo) terms[std::size_t(launched++)]->start();
            if (launched == o.count) launcher.stop();
        };
        launcher.setInterval(o.ramp > 0 ? 5 : kTickMs);
        launcher.setTimerType(Qt::PreciseTimer);
        QObject::connect(&launcher, &QTimer::timeout, launchDue);
        launcher.start();
        QTimer::singleShot(0, launchDue);
    }

    if (o.duration >= 0) QTimer::singleShot(int(o.duration * 1000), Qt::PreciseTimer, [&] { finishRun(0); });

    const int code = app.exec();
    std::fflush(stdout);
    std::fflush(stderr);
    // Thousands of sockets and suspended dialogues: leave their teardown to the system.
    ::_exit(code);
}
