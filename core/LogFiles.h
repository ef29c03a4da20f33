#pragma once
// Log lines on disk: every line a console shows in a log box is also written,
// as shown, to Data/Logs/YYYY-MM-DD/<name>.log. Callers only enqueue; one writer
// thread appends. A file that reaches the size limit is renamed <name>.1.log
// (the older ones move up to .2, .3 …) and a new one started. When the disk
// refuses, lines wait in memory (bounded; beyond it they are dropped and counted)
// and the status text says so until a write succeeds again. Lines are gathered:
// the writer wakes when the first line of a burst arrives and writes the burst
// 100 ms later (or at once when 64 KiB wait or someone flushes), so a busy
// data centre wakes it ten times a second, not once a line.
#include <QByteArray>
#include <QObject>
#include <QString>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>

class QThread;

namespace core {

class LogFiles : public QObject {
    Q_OBJECT
public:
    // `root` is the Logs folder (made when the first line is written).
    explicit LogFiles(const QString& root, QObject* parent = nullptr);
    ~LogFiles() override;   // writes what is queued (at most 5 s) and stops the writer

    // Thread-safe and cheap. `name` is a file name without folder and extension.
    void append(const QString& name, QByteArray utf8);

    void setRotateBytes(qint64 bytes);          // default 16 MiB
    void setMaxQueuedBytes(qint64 bytes);       // default 64 MiB
    // Blocks until every line enqueued before the call is written or dropped.
    bool flush(int timeoutMs = 5000);

    QString root() const { return root_; }
    // Today's folder: where the files of lines written now go.
    QString todaysFolder() const;

signals:
    // "提示信息:日志无法写入：…" while lines cannot be written, "" once they can again
    // (emitted from the writer thread).
    void statusChanged(const QString& text);

private:
    struct Piece {
        QString name;
        QByteArray bytes;
    };
    void run();

    const QString root_;
    QThread* thread_ = nullptr;
    std::mutex mutex_;
    std::condition_variable wake_, written_;
    std::deque<Piece> queue_;
    qint64 queuedBytes_ = 0;
    qint64 maxQueuedBytes_ = 64ll << 20;
    qint64 rotateBytes_ = 16ll << 20;
    std::uint64_t enqueued_ = 0, done_ = 0;
    bool stop_ = false;
    bool flushWanted_ = false;
};

// Data/Logs beside the program, or the folder HT6630_LOG_DIR names.
QString LogFolderPath(const QString& programFolder);

}  // namespace core
