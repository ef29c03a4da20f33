#pragma once
// The terminals this node holds now, for what is judged across all of them: which
// are overdue (nothing from them for more than three of their heart-beat intervals,
// or [dialogue] overdue_after_s), what a status republished for them says, and how
// often they upload. One sweep looks at them all; nothing here runs a timer of its own.
#include <QDateTime>
#include <QHash>
#include <QString>
#include <QStringList>

#include "core/TerminalRoster.h"

namespace service {

class HeldTerminals {
public:
    struct Terminal {
        QString channel, peer;           // as the online status said
        QDateTime since;                 // the status's "since"
        qint64 lastMs = 0;               // monotonic: when it last sent anything
        core::HeartbeatStats beats;      // gaps between heart beats
        core::HeartbeatStats uploads;    // gaps between uploads
        int reportedHeartbeatS = 0;      // read from the terminal; 0 when not known
        bool overdue = false;
    };
    enum class Frame { Heartbeat, Upload, Other };

    // Held from now (again, or by another channel: its status fields follow).
    void online(const QString& barCode, const QString& channel, const QString& peer, const QDateTime& since,
                qint64 nowMs);
    void offline(const QString& barCode) { overdue_ -= terminals_.take(barCode).overdue ? 1 : 0; }
    // Something from a held terminal: true when it was overdue (it reports again).
    bool heard(const QString& barCode, Frame frame, qint64 nowMs);
    void reportedHeartbeat(const QString& barCode, int seconds);

    // The held terminals that became overdue by `nowMs`. `fixedMs` > 0 stands for
    // three heart-beat intervals.
    QStringList sweep(qint64 nowMs, qint64 fixedMs);

    const Terminal* find(const QString& barCode) const;
    const QHash<QString, Terminal>& all() const { return terminals_; }
    int overdue() const { return overdue_; }

private:
    QHash<QString, Terminal> terminals_;
    int overdue_ = 0;
};

}  // namespace service
