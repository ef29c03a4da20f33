#pragma once
// SIGTERM, SIGINT and SIGHUP delivered into the event loop: the handler only
// writes the signal's number to a pipe, a socket notifier reads it.
#include <QObject>

class QSocketNotifier;

namespace service {

class SignalPipe : public QObject {
    Q_OBJECT
public:
    explicit SignalPipe(QObject* parent = nullptr);
    ~SignalPipe() override;
    bool ok() const { return notifier_ != nullptr; }

signals:
    void terminate(int signal);   // SIGTERM or SIGINT
    void reload();                // SIGHUP

private:
    void drain();

    int fds_[2] = {-1, -1};
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace service
