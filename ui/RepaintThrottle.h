#pragma once
// Under load a window is asked to repaint after nearly every arriving frame (a
// status text, a list entry, a log line), and each repaint lays out and draws
// the whole changed area again. Nobody reads more than a few pictures a second:
// the throttle lets each window repaint at most once per interval and gathers
// the requests in between into one repaint at the end of the interval.
#include <QElapsedTimer>
#include <QHash>
#include <QObject>

class QCoreApplication;

class RepaintThrottle : public QObject {
public:
    static constexpr int kDefaultIntervalMs = 40;
    // Watches every window of the application; lives as long as the application.
    static RepaintThrottle* install(QCoreApplication* app, int intervalMs = kDefaultIntervalMs);

    explicit RepaintThrottle(int intervalMs, QObject* parent = nullptr);
    int deferred() const { return deferred_; }   // requests held back so far

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Window {
        qint64 lastMs = 0;
        bool pending = false;
    };
    void repaintLater(QObject* window, Window& w, qint64 nowMs);

    int intervalMs_;
    int deferred_ = 0;
    QObject* passing_ = nullptr;   // the window whose gathered request is being delivered
    QElapsedTimer clock_;
    QHash<QObject*, Window> windows_;
};
