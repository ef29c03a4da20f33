// Writes 1,000,000 readings through the readings store (uploads of 48 records
// from 1,000 terminals) into a fresh file and prints readings per second, from
// the first enqueue to the end of flush(). Usage: bench_readings_store [FOLDER]
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <atomic>
#include <cstdio>
#include <string>

#include "core/ReadingsStore.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    constexpr int kReadings = 1'000'000, kPerUpload = 48, kTerminals = 1000;
    QTemporaryDir temp(argc > 1 ? QString::fromLocal8Bit(argv[1]) + QStringLiteral("/bench-XXXXXX") : QString());
    const QString path = temp.filePath(QStringLiteral("readings.db"));

    core::ReadingsStore store(path);
    std::atomic<int> batches = 0;   // counted on the writer thread
    QObject::connect(&store, &core::ReadingsStore::batchCommitted, [&](int) { ++batches; });

    ht6630::RoomUpload upload;
    upload.batteryCentivolts = 360;
    upload.records.resize(kPerUpload);
    const QDateTime received = QDateTime::currentDateTime();
    QElapsedTimer clock;
    clock.start();
    qint64 enqueueNs = 0;
    for (int n = 0, k = 0; n < kReadings; n += kPerUpload, ++k) {
        const int terminal = k % kTerminals, round = k / kTerminals;
        upload.barCode = std::to_string(2012345000000LL + terminal);
        for (int j = 0; j < kPerUpload; ++j) {
            const int minute = (round * kPerUpload + j) * 10;   // every 10 minutes from 2024-01-01
            const int day = minute / 1440;
            upload.records[std::size_t(j)] = {ht6630::CivilTime{2024, 1 + day / 28, 1 + day % 28, minute / 60 % 24,
                                                                minute % 60, 0},
                                              200 + j, 450 + j};
        }
        const qint64 before = clock.nsecsElapsed();
        store.addRoomUpload(upload, core::Channel::Tcp, received);
        enqueueNs += clock.nsecsElapsed() - before;
    }
    store.flush();
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    std::printf("%d readings in %.2f s: %.0f readings/s (enqueue %.0f ns per reading, %d batches committed)\n",
                kReadings, seconds, kReadings / seconds, double(enqueueNs) / kReadings, batches.load());
    return 0;
}
