#pragma once
// An ordered list of bar codes (the data centre's online and offline lists) with a
// hash index beside it: membership, "first entry equal to b" and removals are
// found without scanning; the order stays insertion order.
#include <QHash>
#include <QString>
#include <QStringList>

#include <deque>
#include <list>

namespace core {

class BarCodeList {
public:
    bool contains(const QString& text) const { return index_.contains(text); }
    void append(const QString& text);
    void appendUnique(const QString& text) { if (!contains(text)) append(text); }
    bool removeFirst(const QString& text);   // the first entry equal to text
    int removeAll(const QString& text);      // how many were removed
    void clear();
    int count() const { return static_cast<int>(items_.size()); }
    QStringList texts() const;

private:
    std::list<QString> items_;
    QHash<QString, std::deque<std::list<QString>::iterator>> index_;   // in insertion order
};

}  // namespace core
