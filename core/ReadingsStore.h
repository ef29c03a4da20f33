#pragma once
// The readings store: decoded uploads, heat-meter records, live readings and
// terminal events go into an SQLite file. Callers only enqueue; one writer thread
// with its own connection commits a transaction per batch, at most 250 ms apart.
// When the file cannot be written the rows wait in memory (bounded) and the
// writer retries about every second.
//
// Every row has a position, in the order rows were enqueued; the rows of one call
// are [enqueuedMark() before it, enqueuedMark() after it). committed() says whether
// such a range reached the file: what the service waits for before it acknowledges
// an upload. A commit with WAL and synchronous=NORMAL is in the operating system's
// hands when it returns: it survives the process being killed, not a power loss.
#include <QDateTime>
#include <QObject>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

#include "core/ReadingsRows.h"
#include "protocol/Readings.h"

class QThread;

namespace core {

class ReadingsWriter;

class ReadingsStore : public QObject {
    Q_OBJECT
public:
    using Channel = core::Channel;

    // Rows kept in memory at most while the file cannot be written; beyond it the
    // oldest are dropped and the status text says how many.
    static constexpr std::size_t kMaxQueued = 1'000'000;

    explicit ReadingsStore(const QString& path, QObject* parent = nullptr);
    ~ReadingsStore() override;   // flushes (waiting at most 10 s) and stops the writer

    // Thread-safe and cheap: nothing here waits for the disk.
    void addRoomUpload(const ht6630::RoomUpload& upload, Channel channel, const QDateTime& receivedAt);
    void addHeatRecords(const QString& barCode, const std::vector<ht6630::HeatMeterRecord>& records,
                        Channel channel, const QDateTime& receivedAt);
    void addLiveReading(const QString& barCode, double temperature, double humidity, const QDateTime& at);
    // kind: "registration", "heartbeat", "upload-end", "connect", "disconnect".
    void addEvent(const QString& barCode, const QString& kind, Channel channel, const QString& peer,
                  const QDateTime& at);

    // A lower bound than kMaxQueued (small devices, tests).
    void setMaxQueued(std::size_t rows);

    // Readings older than this many days are deleted now and then; 0 keeps everything.
    void setRetentionDays(int days);

    // Blocks until every row enqueued before the call is committed (or dropped).
    // A negative timeout waits for ever; returns false when the time ran out.
    bool flush(int timeoutMs = -1);

    QString path() const { return path_; }

    // Rows enqueued so far: the position after the last of them. Thread-safe, no lock.
    std::uint64_t enqueuedMark() const { return enqueuedMark_.load(std::memory_order_acquire); }
    // True once every row in [from, to) is committed to the file; false while any is
    // not yet, and for good when one was dropped (the bound while the file could not be
    // written). Thread-safe, no lock.
    bool committed(std::uint64_t from, std::uint64_t to) const {
        // Committed first: a drop of these rows always happens before a commit past them.
        return committedThrough_.load(std::memory_order_acquire) >= to &&
               droppedThrough_.load(std::memory_order_acquire) <= from;
    }
    // The last attempt to open or write the file failed, and none has succeeded since.
    bool failing() const { return failing_.load(std::memory_order_acquire); }
    // Commits what is queued now instead of at the batch interval; returns at once.
    // Nothing is tried sooner while the file cannot be written.
    void commitSoon();

    // Work for the writer's connection (the publish log), run on the writer thread
    // while the file is open. BeforeRows runs before the rows queued so far are
    // written, AfterRows once they are committed; both wake the writer. NextBatch
    // runs after the next batch without waking it: cheap, frequent updates.
    enum class When { BeforeRows, AfterRows, NextBatch };
    using WriterTask = std::function<void(ReadingsWriter&)>;
    void post(WriterTask task, When when);

signals:
    // "提示信息:…" while the file cannot be written, "" once it can again.
    // Both are emitted from the writer thread.
    void statusChanged(const QString& text);
    void batchCommitted(int readings);   // room and heat-meter records the batch stored (new to the file)
    // The file could not be written (`reason`: SQLite's words), or can again (reason
    // empty); emitted on each change only, from the writer thread.
    void failingChanged(bool failing, const QString& reason);

private:
    void enqueue(std::vector<StoreRow>&& rows);
    void run();   // the writer thread

    const QString path_;
    const QString connectionName_;
    QThread* thread_ = nullptr;

    std::mutex mutex_;
    std::condition_variable wake_;       // the writer: rows, a flush or the stop
    std::condition_variable committed_;  // flush(): progress
    std::deque<StoreRow> queue_;
    std::vector<std::pair<When, WriterTask>> tasks_;
    std::uint64_t enqueued_ = 0;         // rows ever enqueued
    std::uint64_t done_ = 0;             // rows committed or dropped, in queue order
    std::uint64_t dropped_ = 0;          // dropped and not yet reported
    std::size_t maxQueued_ = kMaxQueued;
    int retentionDays_ = 0;
    bool retentionChanged_ = false;
    bool flushWanted_ = false;
    bool taskWake_ = false;              // a task waits that should not wait for the batch interval
    bool stop_ = false;
    // Lock-free views for committed(): positions in enqueue order. Rows leave the queue
    // from its front, committed or dropped, so done_ is the position of the first one left.
    std::atomic<std::uint64_t> enqueuedMark_{0};      // = enqueued_
    std::atomic<std::uint64_t> committedThrough_{0};  // done_ after the latest commit
    std::atomic<std::uint64_t> droppedThrough_{0};    // done_ after the latest drop
    std::atomic<bool> failing_{false};
};

}  // namespace core
