#pragma once
// How long the event loop keeps a due timer waiting: a timer asks to run every
// 50 ms and notes how much later it ran. A terminal's frame that arrives while the
// loop is busy waits about as long before its reply delay even starts, so this is
// the intake's share of a late reply, as the reply queue's lateness is the timer's.
#include <QObject>
#include <QTimer>

#include "core/LatenessHistogram.h"

namespace service {

class LoopLagProbe : public QObject {
public:
    explicit LoopLagProbe(QObject* parent = nullptr);
    const core::LatenessHistogram& lag() const { return lag_; }

private:
    void arm();

    QTimer timer_;
    qint64 dueNs_ = 0;
    core::LatenessHistogram lag_;
};

}  // namespace service
