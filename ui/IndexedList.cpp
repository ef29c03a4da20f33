#include "ui/IndexedList.h"

#include <QListWidget>

void IndexedList::append(const QString& text) {
    auto* item = new QListWidgetItem(text, list_);
    index_[text].append(item);
}

bool IndexedList::removeFirst(const QString& text) {
    auto it = index_.find(text);
    if (it == index_.end() || it->isEmpty()) return false;
    QListWidgetItem* item = it->takeFirst();
    if (it->isEmpty()) index_.erase(it);
    delete item;   // leaves the list box
    return true;
}

int IndexedList::removeAll(const QString& text) {
    auto it = index_.find(text);
    if (it == index_.end()) return 0;
    const QList<QListWidgetItem*> items = *it;
    index_.erase(it);
    for (auto* item : items) delete item;
    return static_cast<int>(items.size());
}

void IndexedList::clear() {
    index_.clear();
    list_->clear();
}

int IndexedList::count() const { return list_->count(); }

QStringList IndexedList::texts() const {
    QStringList out;
    for (int r = 0; r < list_->count(); ++r) out << list_->item(r)->text();
    return out;
}
