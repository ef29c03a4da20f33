#include "core/ReadingsStore.h"

#include <QElapsedTimer>
#include <QThread>
#include <QtDebug>

#include <algorithm>
#include <chrono>
#include <utility>

#include "core/ReadingsWriter.h"

namespace core {

namespace {

// Rows per transaction at most: a long backlog is written in steps, so the
// commit progress (and flush()) moves while it drains.
constexpr std::size_t kBatchRows = 100'000;
constexpr auto kBatchInterval = std::chrono::milliseconds(250);
// Below this many rows committed a second, the page cache goes after each batch:
// the cache (up to 32 MiB) pays off under load, while a trickle of events would
// otherwise fill it page by page and hold it for good.
constexpr std::size_t kLightRowsPerSecond = 2'000;
constexpr auto kRetryInterval = std::chrono::milliseconds(1000);
constexpr qint64 kPruneIntervalMs = 3600 * 1000;

}  // namespace

QString ChannelText(Channel channel) {
    switch (channel) {
        case Channel::Tcp: return QStringLiteral("TCP");
        case Channel::Udp: return QStringLiteral("UDP");
        case Channel::Serial: return QStringLiteral("serial");
    }
    return {};
}

ReadingsStore::ReadingsStore(const QString& path, QObject* parent)
    : QObject(parent),
      path_(path),
      // The object's address is unique among the stores alive at once.
      connectionName_(QStringLiteral("readings-store-%1").arg(quintptr(this), 0, 16)) {
    thread_ = QThread::create([this] { run(); });
    thread_->setObjectName(QStringLiteral("readings-writer"));
    thread_->start();
}

ReadingsStore::~ReadingsStore() {
    if (!flush(10000)) qWarning("readings store: %s could not be written; unwritten readings are lost", qPrintable(path_));
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_one();
    thread_->wait();
    delete thread_;
}

void ReadingsStore::enqueue(std::vector<StoreRow>&& rows) {
    if (rows.empty()) return;
    {
        std::lock_guard lock(mutex_);
        for (StoreRow& r : rows) queue_.push_back(std::move(r));
        enqueued_ += rows.size();
        enqueuedMark_.store(enqueued_, std::memory_order_release);
        if (queue_.size() > maxQueued_) {
            while (queue_.size() > maxQueued_) {
                queue_.pop_front();
                ++done_;
                ++dropped_;
            }
            droppedThrough_.store(done_, std::memory_order_release);
        }
        if (queue_.size() < kBatchRows) return;
    }
    wake_.notify_one();
}

void ReadingsStore::addRoomUpload(const ht6630::RoomUpload& upload, Channel channel, const QDateTime& receivedAt) {
    const QString barCode = QString::fromStdString(upload.barCode);
    const qint64 at = receivedAt.toMSecsSinceEpoch();
    std::vector<StoreRow> rows;
    rows.reserve(upload.records.size());
    int undated = 0;
    for (const ht6630::RoomRecord& r : upload.records) {
        if (!r.time) {
            ++undated;
            continue;
        }
        rows.push_back(StoreRow{barCode, at, channel,
                                RoomRow{*r.time, r.temperatureTenths, r.humidityTenths, upload.batteryCentivolts}});
    }
    if (undated)
        qInfo("readings store: %d record(s) of %s without a valid upload time not stored", undated,
              upload.barCode.c_str());
    enqueue(std::move(rows));
}

void ReadingsStore::addHeatRecords(const QString& barCode, const std::vector<ht6630::HeatMeterRecord>& records,
                                   Channel channel, const QDateTime& receivedAt) {
    const qint64 at = receivedAt.toMSecsSinceEpoch();
    std::vector<StoreRow> rows;
    rows.reserve(records.size());
    for (const ht6630::HeatMeterRecord& r : records)
        rows.push_back(StoreRow{barCode, at, channel, HeatRow{std::make_shared<const ht6630::HeatMeterRecord>(r)}});
    enqueue(std::move(rows));
}

void ReadingsStore::addLiveReading(const QString& barCode, double temperature, double humidity, const QDateTime& at) {
    std::vector<StoreRow> rows;
    rows.push_back(StoreRow{barCode, at.toMSecsSinceEpoch(), Channel::Tcp, LiveRow{temperature, humidity}});
    enqueue(std::move(rows));
}

void ReadingsStore::addEvent(const QString& barCode, const QString& kind, Channel channel, const QString& peer,
                             const QDateTime& at) {
    // A connection closed before it registered is no terminal's event. (Its row,
    // without a bar code, would fail the file's constraint and hold up every row
    // queued behind it.)
    if (barCode.isEmpty()) return;
    std::vector<StoreRow> rows;
    rows.push_back(StoreRow{barCode, at.toMSecsSinceEpoch(), channel, EventRow{kind, peer}});
    enqueue(std::move(rows));
}

void ReadingsStore::setMaxQueued(std::size_t rows) {
    std::lock_guard lock(mutex_);
    maxQueued_ = std::max<std::size_t>(1, rows);
}

void ReadingsStore::setRetentionDays(int days) {
    {
        std::lock_guard lock(mutex_);
        retentionDays_ = std::max(0, days);
        retentionChanged_ = true;
    }
    wake_.notify_one();
}

void ReadingsStore::post(WriterTask task, When when) {
    {
        std::lock_guard lock(mutex_);
        tasks_.emplace_back(when, std::move(task));
        if (when == When::NextBatch) return;
        taskWake_ = true;
    }
    wake_.notify_one();
}

void ReadingsStore::commitSoon() {
    {
        std::lock_guard lock(mutex_);
        flushWanted_ = true;
    }
    wake_.notify_one();
}

bool ReadingsStore::flush(int timeoutMs) {
    std::unique_lock lock(mutex_);
    const std::uint64_t target = enqueued_;
    if (done_ >= target) return true;
    flushWanted_ = true;
    wake_.notify_one();
    const auto reached = [&] { return done_ >= target; };
    if (timeoutMs < 0) {
        committed_.wait(lock, reached);
        return true;
    }
    return committed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), reached);
}

namespace {
// Rows committed in the current second and the one before it (the writer wakes at
// least every batch interval, so an idle second still rolls over).
class CommitRate {
public:
    CommitRate() { second_.start(); }
    std::size_t add(std::size_t rows) {
        if (second_.elapsed() >= 1000) {
            previous_ = second_.elapsed() >= 2000 ? 0 : current_;
            current_ = 0;
            second_.restart();
        }
        current_ += rows;
        return std::max(previous_, current_);
    }

private:
    QElapsedTimer second_;
    std::size_t current_ = 0, previous_ = 0;
};
}  // namespace

void ReadingsStore::run() {
    ReadingsWriter writer(path_, connectionName_);
    std::deque<StoreRow> held;    // taken from the queue, not yet committed
    std::vector<std::pair<When, WriterTask>> tasks;   // taken, waiting for an open file
    QString status;               // the status text shown now
    QString reason;               // why the last attempt failed
    QElapsedTimer sincePrune;
    CommitRate rate;
    bool failing = false;
    std::uint64_t droppedWhileFailing = 0;

    const auto setStatus = [&](const QString& text) {
        if (text == status) return;
        status = text;
        emit statusChanged(text);
    };
    const auto runTasks = [&](bool beforeRows) {
        for (auto it = tasks.begin(); it != tasks.end();) {
            if ((it->first == When::BeforeRows) != beforeRows) {
                ++it;
                continue;
            }
            it->second(writer);
            it = tasks.erase(it);
        }
    };
    int stored = 0;               // records new to the file in the last batch written
    const auto attempt = [&]() -> bool {
        QString error;
        stored = 0;
        if (!writer.isOpen() && !writer.open(&error)) {
            reason = error;
            return false;
        }
        runTasks(true);
        if (!held.empty() && !writer.write(held, &error, &stored)) {
            // Reopen on the next try: the file may have been replaced or its folder made writable.
            writer.close();
            reason = error;
            return false;
        }
        return true;
    };

    for (;;) {
        int retention = 0;
        bool prune = false;
        bool stopping = false;
        std::uint64_t dropped = 0;
        {
            std::unique_lock lock(mutex_);
            wake_.wait_for(lock, failing ? kRetryInterval : kBatchInterval, [&] {
                return stop_ ||
                       (!failing && (flushWanted_ || retentionChanged_ || taskWake_ || queue_.size() >= kBatchRows));
            });
            stopping = stop_;
            // Taken with the rows: an AfterRows task sees every row enqueued before it was posted
            // (unless a backlog is written in several batches).
            for (auto& t : tasks_) tasks.push_back(std::move(t));
            tasks_.clear();
            taskWake_ = false;
            // Rows kept for a retry count against the bound too, and they are the oldest. Dropped
            // before the take: a retry whose held rows all went writes the queue, rather than
            // nothing (which would count as the file being writable again).
            if (held.size() + queue_.size() > maxQueued_) {
                for (std::size_t total = held.size() + queue_.size(); total > maxQueued_; --total) {
                    if (!held.empty())
                        held.pop_front();
                    else
                        queue_.pop_front();
                    ++done_;
                    ++dropped_;
                }
                droppedThrough_.store(done_, std::memory_order_release);
            }
            // While failing, the held rows are retried before anything newer is taken.
            // Callers wait for this lock: take the whole queue in one swap when it fits a batch.
            if (held.empty()) {
                if (queue_.size() <= kBatchRows) {
                    held.swap(queue_);
                } else {
                    const auto end = queue_.begin() + std::ptrdiff_t(kBatchRows);
                    held.assign(std::make_move_iterator(queue_.begin()), std::make_move_iterator(end));
                    queue_.erase(queue_.begin(), end);
                }
                flushWanted_ = false;
            }
            retention = retentionDays_;
            prune = retention > 0 && (retentionChanged_ || !sincePrune.isValid() ||
                                      sincePrune.elapsed() >= kPruneIntervalMs);
            retentionChanged_ = false;
            dropped = std::exchange(dropped_, 0);
        }
        if (dropped)
            qWarning("readings store: %llu queued row(s) dropped, the oldest first, while %s could not be written",
                     static_cast<unsigned long long>(dropped), qPrintable(path_));

        const bool ok = attempt();
        const bool wasFailing = std::exchange(failing, !ok);
        if (!ok && !wasFailing) {
            failing_.store(true, std::memory_order_release);
            emit failingChanged(true, reason);
        }
        if (!ok && prune) {
            // Delete the old readings once the file can be written again.
            std::lock_guard lock(mutex_);
            retentionChanged_ = true;
        }
        if (ok) {
            const int readings = stored;
            const std::size_t n = held.size();
            held = {};   // destroyed here, outside the lock
            if (n) {
                {
                    std::lock_guard lock(mutex_);
                    done_ += n;
                    committedThrough_.store(done_, std::memory_order_release);
                }
                committed_.notify_all();
            }
            // The state changes once the rows held through the failure count as committed.
            if (wasFailing) {
                failing_.store(false, std::memory_order_release);
                emit failingChanged(false, QString());
            }
            if (n) emit batchCommitted(readings);
            droppedWhileFailing = 0;
            setStatus(QString());
            runTasks(false);
            if (rate.add(n) < kLightRowsPerSecond) writer.releaseCache();
            if (prune) {
                QString error;
                const int deleted = writer.prune(retention, &error);
                if (deleted < 0)
                    qWarning("readings store: old readings could not be deleted: %s", qPrintable(error));
                else if (deleted > 0)
                    qInfo("readings store: %d reading(s) older than %d day(s) deleted", deleted, retention);
                sincePrune.start();
            }
        } else {
            droppedWhileFailing += dropped;
            QString text = QStringLiteral("提示信息:读数库无法写入：") + reason;
            if (droppedWhileFailing)
                text += QStringLiteral("；等待写入的记录过多，已丢弃最早的 %1 条").arg(droppedWhileFailing);
            setStatus(text);
        }
        if (stopping) {
            std::lock_guard lock(mutex_);
            if (failing || (queue_.empty() && tasks_.empty())) {
                if (failing) qWarning("readings store: stopped with %llu row(s) unwritten: %s",
                                      static_cast<unsigned long long>(held.size() + queue_.size()), qPrintable(reason));
                break;
            }
        }
    }
}

}  // namespace core
