#include "core/TerminalSeriesLoader.h"

#include <QDate>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QTime>

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "core/ReadingsSchema.h"

namespace core {

namespace {

// Days from 1970-01-01 of a proleptic Gregorian date (H. Hinnant's days_from_civil).
std::int64_t DaysFromCivil(int y, int m, int d) {
    y -= m <= 2;
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = y - era * 400;
    const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return std::int64_t(era) * 146097 + doe - 719468;
}

int Digits(const char* p, int n) {
    int v = 0;
    for (int i = 0; i < n; ++i) {
        if (p[i] < '0' || p[i] > '9') return -1;
        v = v * 10 + (p[i] - '0');
    }
    return v;
}

// The local zone's offset changes at most a few times a year, so it is looked
// up once per calendar day: when midnight and the day's last second have the
// same offset the whole day has it; only a day with a change asks per reading.
class LocalOffsets {
public:
    std::int64_t toUtcMs(std::int64_t day, int y, int m, int d, int secondOfDay) {
        const std::int64_t localMs = (day * 86400 + secondOfDay) * 1000;
        if (day != day_) {
            day_ = day;
            const std::int64_t start = day * 86400'000;
            const qint64 a = QDateTime(QDate(y, m, d), QTime(0, 0)).toMSecsSinceEpoch() - start;
            const qint64 b = QDateTime(QDate(y, m, d), QTime(23, 59, 59)).toMSecsSinceEpoch() - (start + 86399'000);
            uniform_ = a == b;
            offset_ = a;
        }
        if (uniform_) return localMs + offset_;
        return QDateTime(QDate(y, m, d), QTime(secondOfDay / 3600, secondOfDay / 60 % 60, secondOfDay % 60))
            .toMSecsSinceEpoch();
    }

private:
    std::int64_t day_ = INT64_MIN;
    std::int64_t offset_ = 0;   // UTC minus local, in ms
    bool uniform_ = true;
};

LocalOffsets& Offsets() {
    thread_local LocalOffsets offsets;
    return offsets;
}

bool Cancelled(const std::atomic<bool>* cancel) { return cancel && cancel->load(std::memory_order_relaxed); }

// A locked file is waited for up to 2 s, in steps that notice a cancel.
int BusyWait(void* cancel, int count) {
    if (Cancelled(static_cast<const std::atomic<bool>*>(cancel)) || count >= 100) return 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return 1;
}

int Interrupt(void* cancel) { return Cancelled(static_cast<const std::atomic<bool>*>(cancel)) ? 1 : 0; }

struct Handle {
    sqlite3* db = nullptr;
    sqlite3_stmt* statement = nullptr;
    ~Handle() {
        sqlite3_finalize(statement);
        sqlite3_close(db);
    }
};

}  // namespace

bool ParseLocalIsoTime(const char* p, std::size_t length, std::int64_t* ms) {
    if (length != 19 || p[4] != '-' || p[7] != '-' || p[10] != 'T' || p[13] != ':' || p[16] != ':') return false;
    const int y = Digits(p, 4), mo = Digits(p + 5, 2), d = Digits(p + 8, 2);
    const int h = Digits(p + 11, 2), mi = Digits(p + 14, 2), s = Digits(p + 17, 2);
    if (y < 0 || mo < 1 || mo > 12 || d < 1 || d > 31 || h < 0 || h > 23 || mi < 0 || mi > 59 || s < 0 || s > 59)
        return false;
    if (d > QDate(y, mo, 1).daysInMonth()) return false;
    *ms = Offsets().toUtcMs(DaysFromCivil(y, mo, d), y, mo, d, h * 3600 + mi * 60 + s);
    return true;
}

TerminalSeriesLoad LoadTerminalSeries(const QString& path, const QString& barCode,
                                      const std::atomic<bool>* cancel, const QString& afterTime) {
    TerminalSeriesLoad out;
    if (!QFileInfo(path).isFile()) {
        out.error = QStringLiteral("读数库不存在：") + path;
        return out;
    }
    Handle h;
    const auto fail = [&](const char* what) {
        out.series = {};
        out.error = Cancelled(cancel) ? QStringLiteral("读取已取消")
                                      : QStringLiteral("无法读取读数库 %1：%2").arg(path, QString::fromUtf8(what));
        return out;
    };
    // READONLY without CREATE: a file that vanished meanwhile is an error, not a new database.
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &h.db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK)
        return fail(h.db ? sqlite3_errmsg(h.db) : "out of memory");
    void* flag = const_cast<std::atomic<bool>*>(cancel);
    sqlite3_busy_handler(h.db, BusyWait, flag);
    if (cancel) sqlite3_progress_handler(h.db, 10000, Interrupt, flag);

    if (sqlite3_prepare_v2(h.db, "PRAGMA user_version", -1, &h.statement, nullptr) != SQLITE_OK ||
        sqlite3_step(h.statement) != SQLITE_ROW)
        return fail(sqlite3_errmsg(h.db));
    const int version = sqlite3_column_int(h.statement, 0);
    sqlite3_finalize(h.statement);
    h.statement = nullptr;
    if (version != kReadingsSchemaVersion) {
        out.error = QStringLiteral("%1 不是本程序的读数库（版本 %2，需要 %3）").arg(path).arg(version).arg(kReadingsSchemaVersion);
        return out;
    }

    // A range of the primary key: rows come in time order without a sort.
    if (sqlite3_prepare_v2(h.db,
                           afterTime.isEmpty()
                               ? "SELECT time, temperature_c, humidity_pct FROM readings WHERE barcode = ?1 ORDER BY time"
                               : "SELECT time, temperature_c, humidity_pct FROM readings WHERE barcode = ?1 AND time > ?2 "
                                 "ORDER BY time",
                           -1, &h.statement, nullptr) != SQLITE_OK)
        return fail(sqlite3_errmsg(h.db));
    const QByteArray code = barCode.toUtf8();
    sqlite3_bind_text(h.statement, 1, code.constData(), int(code.size()), SQLITE_STATIC);
    const QByteArray after = afterTime.toUtf8();
    if (!afterTime.isEmpty()) sqlite3_bind_text(h.statement, 2, after.constData(), int(after.size()), SQLITE_STATIC);
    TerminalSeries& s = out.series;
    int rc;
    while ((rc = sqlite3_step(h.statement)) == SQLITE_ROW) {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(h.statement, 0));
        const int length = sqlite3_column_bytes(h.statement, 0);
        std::int64_t ms;
        if (!text || !ParseLocalIsoTime(text, std::size_t(length), &ms)) continue;   // not a reading time
        s.timesMs.push_back(ms);
        s.temperatureC.push_back(sqlite3_column_double(h.statement, 1));
        s.humidityPct.push_back(sqlite3_column_double(h.statement, 2));
    }
    if (rc != SQLITE_DONE) return fail(sqlite3_errmsg(h.db));
    return out;
}

void MergeReadings(TerminalSeries& into, const TerminalSeries& more) {
    for (std::size_t i = 0; i < more.size(); ++i) {
        const std::int64_t t = more.timesMs[i];
        // Mostly newer than all: appended; a late one goes to its place.
        const auto at = into.timesMs.empty() || t > into.timesMs.back()
                            ? into.timesMs.end()
                            : std::lower_bound(into.timesMs.begin(), into.timesMs.end(), t);
        if (at != into.timesMs.end() && *at == t) continue;
        const auto k = at - into.timesMs.begin();
        into.timesMs.insert(at, t);
        into.temperatureC.insert(into.temperatureC.begin() + k, more.temperatureC[i]);
        into.humidityPct.insert(into.humidityPct.begin() + k, more.humidityPct[i]);
    }
}

}  // namespace core
