#include "core/BarCodeList.h"

namespace core {

void BarCodeList::append(const QString& text) {
    items_.push_back(text);
    index_[text].push_back(std::prev(items_.end()));
}

bool BarCodeList::removeFirst(const QString& text) {
    auto it = index_.find(text);
    if (it == index_.end() || it->empty()) return false;
    items_.erase(it->front());
    it->pop_front();
    if (it->empty()) index_.erase(it);
    return true;
}

int BarCodeList::removeAll(const QString& text) {
    auto it = index_.find(text);
    if (it == index_.end()) return 0;
    const int n = static_cast<int>(it->size());
    for (auto item : *it) items_.erase(item);
    index_.erase(it);
    return n;
}

void BarCodeList::clear() {
    items_.clear();
    index_.clear();
}

QStringList BarCodeList::texts() const {
    QStringList out;
    out.reserve(count());
    for (const QString& t : items_) out << t;
    return out;
}

}  // namespace core
