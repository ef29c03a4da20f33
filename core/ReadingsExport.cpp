#include "core/ReadingsExport.h"

#include <QSaveFile>

#include "core/ReadingsFormats.h"
#include "core/ReadingsQuery.h"

namespace core {

ExportResult ExportCsvFile(const QString& databasePath, const QStringList& barCodes, const QString& from,
                           const QString& to, const QString& filePath, bool excel) {
    ExportResult result;
    ReadingsQuery query(databasePath);
    if (!query.isOpen()) {
        result.error = query.error();
        return result;
    }
    QSaveFile file(filePath);
    if (!file.open(QIODevice::WriteOnly)) {
        result.error = QStringLiteral("无法写入 ") + filePath + QStringLiteral("：") + file.errorString();
        return result;
    }
    QByteArray block;
    if (excel) block += "\xEF\xBB\xBF";
    block += kCsvHeader;
    bool written = true;
    const bool read = query.readings(barCodes, from, to, [&](const StoredReading& r) {
        block += CsvLine(r);
        ++result.readings;
        if (block.size() >= (1 << 20)) {
            written = file.write(block) == block.size();
            block.clear();
        }
        return written;
    });
    if (written && !block.isEmpty()) written = file.write(block) == block.size();
    if (!read) {
        result.error = query.error();
    } else if (!written || !file.commit()) {
        result.error = QStringLiteral("无法写入 ") + filePath + QStringLiteral("：") + file.errorString();
    } else {
        result.ok = true;
    }
    return result;
}

}  // namespace core
