#include "core/LogFiles.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <chrono>
#include <map>
#include <memory>

namespace core {

namespace {

constexpr int kRetryMs = 1000;
constexpr auto kGather = std::chrono::milliseconds(100);
constexpr qint64 kGatherBytes = 64 << 10;

QString FolderOf(const QString& root, const QDate& day) {
    return QDir(root).filePath(day.toString(QStringLiteral("yyyy-MM-dd")));
}

// The open files of one day, by name.
class DayFiles {
public:
    DayFiles(QString root, qint64 rotateBytes) : root_(std::move(root)), rotateBytes_(rotateBytes) {}

    void setRotateBytes(qint64 bytes) { rotateBytes_ = bytes; }

    // The bytes written: all of them, or fewer with `error` set when the disk refused.
    qint64 write(const QString& name, const QByteArray& bytes, QString* error) {
        const QDate today = QDate::currentDate();
        if (today != day_) {
            files_.clear();
            day_ = today;
        }
        auto found = files_.find(name);
        if (found == files_.end() || !found->second) {
            const QString folder = FolderOf(root_, day_);
            if (!QDir().mkpath(folder)) {
                *error = QStringLiteral("无法建立文件夹 ") + folder;
                return 0;
            }
            auto file = std::make_unique<QFile>(QDir(folder).filePath(name + QStringLiteral(".log")));
            if (!file->open(QIODevice::WriteOnly | QIODevice::Append)) {
                *error = file->fileName() + QStringLiteral("：") + file->errorString();
                return 0;
            }
            found = files_.insert_or_assign(name, std::move(file)).first;
        }
        auto& f = found->second;
        // pos(), not size(): the size would flush the buffer each time.
        if (f->pos() > 0 && f->pos() + bytes.size() > rotateBytes_ && !rotate(name, error)) return 0;
        // Buffered: the batch's end flushes each file once (flushAll).
        const qint64 n = std::max<qint64>(0, f->write(bytes));
        if (n != bytes.size()) {
            *error = f->fileName() + QStringLiteral("：") + f->errorString();
            f->close();
            files_.erase(name);
            // What reached the file stays there; the caller keeps only the rest.
            return std::min<qint64>(n, bytes.size() - 1);
        }
        return n;
    }

    // Hands what the files buffer to the system; false with `error` set when the disk refused.
    bool flushAll(QString* error) {
        bool ok = true;
        for (auto it = files_.begin(); it != files_.end();) {
            if (!it->second || it->second->flush()) {
                ++it;
                continue;
            }
            *error = it->second->fileName() + QStringLiteral("：") + it->second->errorString();
            ok = false;
            it = files_.erase(it);
        }
        return ok;
    }

    void closeAll() { files_.clear(); }

private:
    // <name>.log becomes <name>.1.log; an older .k moves to .k+1.
    bool rotate(const QString& name, QString* error) {
        auto& f = files_[name];
        f->close();
        QDir dir(FolderOf(root_, day_));
        int last = 1;
        while (dir.exists(QStringLiteral("%1.%2.log").arg(name).arg(last))) ++last;
        for (int k = last; k > 1; --k)
            dir.rename(QStringLiteral("%1.%2.log").arg(name).arg(k - 1), QStringLiteral("%1.%2.log").arg(name).arg(k));
        dir.rename(name + QStringLiteral(".log"), name + QStringLiteral(".1.log"));
        if (!f->open(QIODevice::WriteOnly | QIODevice::Append)) {
            *error = f->fileName() + QStringLiteral("：") + f->errorString();
            files_.erase(name);
            return false;
        }
        return true;
    }

    const QString root_;
    qint64 rotateBytes_;
    QDate day_;
    std::map<QString, std::unique_ptr<QFile>> files_;
};

}  // namespace

LogFiles::LogFiles(const QString& root, QObject* parent) : QObject(parent), root_(root) {
    thread_ = QThread::create([this] { run(); });
    thread_->setObjectName(QStringLiteral("log files"));
    thread_->start(QThread::LowPriority);
}

LogFiles::~LogFiles() {
    flush(5000);
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    thread_->wait();
    delete thread_;
}

void LogFiles::append(const QString& name, QByteArray utf8) {
    if (utf8.isEmpty()) return;
    {
        std::lock_guard lock(mutex_);
        ++enqueued_;
        if (queuedBytes_ + utf8.size() > maxQueuedBytes_) {
            ++done_;   // dropped: the disk has been refusing for long
            return;
        }
        const bool first = queue_.empty();
        const bool crossed = queuedBytes_ < kGatherBytes && queuedBytes_ + utf8.size() >= kGatherBytes;
        queuedBytes_ += utf8.size();
        queue_.push_back({name, std::move(utf8)});
        // A waiting writer is woken only when it has something new to decide: a signal per
        // line would be a system call and a context switch per line.
        if (!first && !crossed) return;
    }
    wake_.notify_one();
}

void LogFiles::setRotateBytes(qint64 bytes) {
    std::lock_guard lock(mutex_);
    rotateBytes_ = bytes;
}

void LogFiles::setMaxQueuedBytes(qint64 bytes) {
    std::lock_guard lock(mutex_);
    maxQueuedBytes_ = bytes;
}

bool LogFiles::flush(int timeoutMs) {
    std::unique_lock lock(mutex_);
    const std::uint64_t target = enqueued_;
    if (done_ >= target) return true;
    flushWanted_ = true;
    wake_.notify_one();
    return written_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return done_ >= target; });
}

QString LogFolderPath(const QString& programFolder) {
    const QString override = qEnvironmentVariable("HT6630_LOG_DIR");
    if (!override.isEmpty()) return override;
    return QDir(programFolder).filePath(QStringLiteral("Data/Logs"));
}

QString LogFiles::todaysFolder() const { return FolderOf(root_, QDate::currentDate()); }

void LogFiles::run() {
    qint64 rotateBytes;
    {
        std::lock_guard lock(mutex_);
        rotateBytes = rotateBytes_;
    }
    DayFiles files(root_, rotateBytes);
    QString status;
    for (;;) {
        std::deque<Piece> batch;
        {
            std::unique_lock lock(mutex_);
            if (status.isEmpty()) {
                wake_.wait(lock, [&] { return stop_ || !queue_.empty(); });
                wake_.wait_for(lock, kGather, [&] { return stop_ || flushWanted_ || queuedBytes_ >= kGatherBytes; });
            } else {
                // The disk refused: try again after a while, or at once to stop.
                wake_.wait_for(lock, std::chrono::milliseconds(kRetryMs), [&] { return stop_; });
            }
            flushWanted_ = false;
            files.setRotateBytes(rotateBytes_);
            if (queue_.empty() && stop_) return;
            batch.swap(queue_);
        }
        // In order; a refused piece and everything after it go back to the queue's front.
        std::size_t written = 0;
        qint64 writtenBytes = 0;
        QString error;
        for (; written < batch.size(); ++written) {
            Piece& piece = batch[written];
            const qint64 n = files.write(piece.name, piece.bytes, &error);
            writtenBytes += n;
            if (n < piece.bytes.size()) {
                piece.bytes.remove(0, n);
                break;
            }
        }
        // A refused flush loses what that file buffered: reported like any refusal.
        const bool flushed = files.flushAll(&error);
        {
            std::lock_guard lock(mutex_);
            queuedBytes_ -= writtenBytes;
            done_ += written;
            if (written < batch.size()) {
                if (stop_) {   // leaving: what the disk refuses is lost
                    done_ += batch.size() - written;
                    return;
                }
                for (std::size_t k = batch.size(); k > written; --k) queue_.push_front(std::move(batch[k - 1]));
            }
        }
        written_.notify_all();
        const QString now = written < batch.size() || !flushed ? QStringLiteral("提示信息:日志无法写入：") + error : QString();
        if (now != status) {
            status = now;
            emit statusChanged(status);
        }
    }
}

}  // namespace core
