#include "UdpPresence.h"

namespace service {

bool UdpPresence::arrived(const QString& barCode, const QString& peer, qint64 nowMs) {
    auto it = last_.find(barCode);
    if (it != last_.end()) {
        *it = Seen{nowMs, peer};
        return false;
    }
    last_.insert(barCode, Seen{nowMs, peer});
    return true;
}

void UdpPresence::heard(const QString& barCode, const QString& peer, qint64 nowMs) {
    auto it = last_.find(barCode);
    if (it != last_.end()) *it = Seen{nowMs, peer};
}

std::vector<UdpPresence::Silent> UdpPresence::expire(qint64 nowMs, qint64 silenceMs) {
    std::vector<Silent> silent;
    for (auto it = last_.begin(); it != last_.end();) {
        if (nowMs - it->atMs >= silenceMs) {
            silent.push_back(Silent{it.key(), it->peer, it->atMs});
            it = last_.erase(it);
        } else {
            ++it;
        }
    }
    return silent;
}

}  // namespace service
