#include "SignalPipe.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace service {

namespace {
// The write end for the handler. A signal handler reaches no object, so this one
// descriptor is the program's only global; it is set once before the handlers are
// installed and reset when they are removed.
volatile sig_atomic_t gWriteFd = -1;

extern "C" void OnSignal(int sig) {
    const int saved = errno;
    const unsigned char b = static_cast<unsigned char>(sig);
    if (gWriteFd >= 0) (void)::write(gWriteFd, &b, 1);
    errno = saved;
}

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
}  // namespace

SignalPipe::SignalPipe(QObject* parent) : QObject(parent) {
    if (::pipe2(fds_, O_CLOEXEC | O_NONBLOCK) != 0) return;
    gWriteFd = fds_[1];
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int s : kSignals) sigaction(s, &sa, nullptr);
    notifier_ = new QSocketNotifier(fds_[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &SignalPipe::drain);
}

SignalPipe::~SignalPipe() {
    for (int s : kSignals) std::signal(s, SIG_DFL);
    gWriteFd = -1;
    for (int fd : fds_)
        if (fd >= 0) ::close(fd);
}

void SignalPipe::drain() {
    unsigned char buf[64];
    ssize_t n;
    while ((n = ::read(fds_[0], buf, sizeof buf)) > 0) {
        for (ssize_t i = 0; i < n; ++i) {
            if (buf[i] == SIGHUP) emit reload();
            else emit terminate(buf[i]);
        }
    }
}

}  // namespace service
