#pragma once
// The cmd requests a node knows were sent or ended, by terminal and id: its own and
// those it saw on <prefix>/+/cmd/result. Kept in the readings file (table
// command_done, outside the schema version: readers never look at it) so that a
// restarted node never runs a request again, even when the broker lost its results.
// Written from this thread on a connection of its own: one small transaction per
// request, committed before the request's frame leaves.
#include <QSet>
#include <QString>

#include "ServiceLog.h"

namespace service {

class CommandLog {
public:
    // Opens (or creates) the table in `path` and reads it; without a usable file the
    // log lives in memory only (said once).
    CommandLog(const QString& path, ServiceLog& log);
    ~CommandLog();
    CommandLog(const CommandLog&) = delete;
    CommandLog& operator=(const CommandLog&) = delete;

    bool contains(const QString& barCode, const QString& id) const { return done_.contains(key(barCode, id)); }
    // Idempotent; false when the file could not take it (the memory has it all the same).
    bool remember(const QString& barCode, const QString& id, const QString& state);

private:
    static QString key(const QString& barCode, const QString& id) { return barCode + QLatin1Char('\n') + id; }

    ServiceLog& log_;
    QString connection_;   // empty: memory only
    QSet<QString> done_;
};

}  // namespace service
