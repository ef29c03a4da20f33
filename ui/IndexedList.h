#pragma once
// A list box of bar codes with a hash index beside it: membership and "first entry
// equal to b" are found without scanning; the visible order stays insertion order.
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

class QListWidget;
class QListWidgetItem;

class IndexedList {
public:
    explicit IndexedList(QListWidget* list) : list_(list) {}
    QListWidget* widget() const { return list_; }

    bool contains(const QString& text) const { return index_.contains(text); }
    void append(const QString& text);
    void appendUnique(const QString& text) { if (!contains(text)) append(text); }
    bool removeFirst(const QString& text);   // the first entry equal to text
    int removeAll(const QString& text);
    void clear();
    int count() const;
    QStringList texts() const;

private:
    QListWidget* list_;
    QHash<QString, QList<QListWidgetItem*>> index_;   // items in insertion order
};
