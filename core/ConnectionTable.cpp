#include "core/ConnectionTable.h"

namespace core {

std::optional<int> ConnectionTable::allocate() {
    if (!free_.empty()) {
        const int i = *free_.begin();
        free_.erase(free_.begin());
        slotFree_[i] = false;
        if (static_cast<int>(barCode_.size()) <= i) barCode_.resize(i + 1);
        barCode_[i].clear();
        loaded_.insert(i);
        byBarCode_[QString()].insert(i);
        return i;
    }
    if (connCount_ >= kMaxIndex) return std::nullopt;
    const int i = ++connCount_;
    slotFree_.resize(connCount_ + 1, false);
    barCode_.resize(connCount_ + 1);
    loaded_.insert(i);
    byBarCode_[QString()].insert(i);
    return i;
}

void ConnectionTable::unindex(int i) {
    if (i < static_cast<int>(barCode_.size())) {
        auto it = byBarCode_.find(barCode_[i]);
        if (it != byBarCode_.end()) {
            it->erase(i);
            if (it->empty()) byBarCode_.erase(it);
        }
    }
}

QString ConnectionTable::releaseByPeer(int i) {
    if (i < 1) return {};
    if (static_cast<int>(slotFree_.size()) <= i) slotFree_.resize(i + 1, false);
    if (static_cast<int>(barCode_.size()) <= i) barCode_.resize(i + 1);
    unindex(i);
    loaded_.erase(i);
    slotFree_[i] = true;
    free_.insert(i);
    QString b = barCode_[i];
    barCode_[i].clear();
    return b;
}

std::vector<int> ConnectionTable::stopAll() {
    std::vector<int> closed(loaded_.begin(), loaded_.end());
    for (int i : closed)
        if (i < static_cast<int>(barCode_.size())) barCode_[i].clear();
    loaded_.clear();
    byBarCode_.clear();
    return closed;
}

void ConnectionTable::shrinkToFirst() {
    slotFree_.resize(1, false);
    barCode_.resize(1);
    free_.clear();
}

void ConnectionTable::setBarCode(int i, const QString& barCode) {
    if (i < 0) return;
    if (static_cast<int>(barCode_.size()) <= i) barCode_.resize(i + 1);
    if (loaded(i)) unindex(i);
    barCode_[i] = barCode;
    if (loaded(i)) byBarCode_[barCode].insert(i);
}

std::optional<int> ConnectionTable::firstLoadedWith(const QString& barCode) const {
    auto it = byBarCode_.constFind(barCode);
    if (it == byBarCode_.constEnd() || it->empty()) return std::nullopt;
    return *it->begin();
}

}  // namespace core
