// Build helper: makes Data/data.mdb with the table TempData when it is missing.
// Usage: ht6630-mkdb <path of data.mdb>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <cstdio>

int main(int argc, char** argv) {
    const QByteArray first = argc > 1 ? QByteArray(argv[1]) : QByteArray();
    if (first == "--help" || first == "-h") {
        std::printf("Usage: ht6630-mkdb <data.mdb>\nMakes the file with the table TempData when it is missing.\n");
        return 0;
    }
    if (first == "--version") {
        std::printf("ht6630-mkdb %s\n", HT6630_VERSION);
        return 0;
    }
    QCoreApplication app(argc, argv);
    if (argc != 2 || first.startsWith('-')) {
        std::fprintf(stderr, "usage: ht6630-mkdb <data.mdb>\n");
        return 2;
    }
    const QString path = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(QFileInfo(path).absolutePath());
    int rc = 0;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("mkdb"));
        db.setDatabaseName(path);
        if (!db.open()) {
            std::fprintf(stderr, "ht6630-mkdb: %s\n", qPrintable(db.lastError().text()));
            rc = 1;
        } else {
            QSqlQuery q(db);
            if (!q.exec(QStringLiteral(
                    "create table if not exists TempData (ID integer primary key, BarCode text, "
                    "Temperature real, Humidity real, RecordTime text)"))) {
                std::fprintf(stderr, "ht6630-mkdb: %s\n", qPrintable(q.lastError().text()));
                rc = 1;
            }
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("mkdb"));
    return rc;
}
