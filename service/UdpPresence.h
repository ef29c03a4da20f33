#pragma once
// Which terminals a UDP data centre has heard from lately. UDP has no connection
// to lose: a terminal counts as online from its registration or upload until it
// has sent nothing for a while (asleep, moved to another node, switched off).
#include <QHash>
#include <QString>
#include <QtGlobal>

#include <vector>

namespace service {

class UdpPresence {
public:
    struct Silent {
        QString barCode, peer;
        qint64 lastMs = 0;
    };

    // A registration or upload from `barCode` at `peer`: true when it was not online.
    bool arrived(const QString& barCode, const QString& peer, qint64 nowMs);
    // Any other frame: keeps an online terminal online.
    void heard(const QString& barCode, const QString& peer, qint64 nowMs);
    bool contains(const QString& barCode) const { return last_.contains(barCode); }
    int size() const { return int(last_.size()); }
    // Takes out and returns the terminals silent for `silenceMs` or longer at `nowMs`.
    std::vector<Silent> expire(qint64 nowMs, qint64 silenceMs);

private:
    struct Seen {
        qint64 atMs = 0;
        QString peer;
    };
    QHash<QString, Seen> last_;
};

}  // namespace service
