#pragma once
// The SQL side of the readings store's writer thread: its own connection, the
// prepared statements, one transaction per batch. Made, used and destroyed on
// the writer thread only.
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>

#include <deque>
#include <initializer_list>
#include <memory>

#include "core/ReadingsRows.h"

struct sqlite3;
struct sqlite3_stmt;

namespace core {

class ReadingsWriter {
public:
    ReadingsWriter(const QString& path, const QString& connectionName);
    ~ReadingsWriter();
    ReadingsWriter(const ReadingsWriter&) = delete;
    ReadingsWriter& operator=(const ReadingsWriter&) = delete;

    // Opens (creating the file and its folder), sets WAL and migrates.
    bool open(QString* error);
    bool isOpen() const { return open_; }
    // The connection's SQLite handle while open, for work beside the readings (the publish log).
    sqlite3* handle() const;
    void close();
    // Lets go of the page cache's unused pages. A light batch re-reads its few pages
    // cheaply; only a backlog profits from keeping them, so memory follows the load.
    void releaseCache();
    // Bytes the connection's page cache holds now.
    qint64 cacheBytes() const;

    // Commits the rows in one transaction; on failure nothing of them is stored.
    // `stored` (when given) counts the room and heat-meter records new to the file
    // (one already there, an upload sent twice, is kept once and not counted).
    bool write(const std::deque<StoreRow>& rows, QString* error, int* stored = nullptr);
    // Deletes what is older than `days` days; returns the readings deleted, -1 on failure.
    int prune(int days, QString* error);

private:
    struct Statements;
    bool stepWith(sqlite3_stmt* q, std::initializer_list<QString> texts, QString* error);
    QString localText(qint64 ms);

    const QString path_;
    const QString connectionName_;
    bool open_ = false;
    std::unique_ptr<Statements> st_;
    qint64 cachedSecond_ = -1;   // received times repeat within a batch: format each second once
    QString cachedText_;
};

}  // namespace core
