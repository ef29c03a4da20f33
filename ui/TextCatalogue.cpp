#include "ui/TextCatalogue.h"

#include <QMutexLocker>

namespace {
// The characters a run of Chinese is made of: the same set the catalogue's
// pieces were cut by (scripts/translations.py).
bool InRun(QChar c) {
    const char16_t u = c.unicode();
    return (u >= 0x3000 && u <= 0x303F) || (u >= 0x3400 && u <= 0x4DBF) || (u >= 0x4E00 && u <= 0x9FFF) ||
           (u >= 0xFF00 && u <= 0xFFEF) || u == 0x2026 || u == 0x201C || u == 0x201D;
}
constexpr qsizetype kLongestPiece = 40;
constexpr qsizetype kCacheLimit = 20000;
}  // namespace

QString TextCatalogue::translate(const char* context, const char* sourceText, const char* disambiguation,
                                 int n) const {
    const QString whole = QTranslator::translate(context, sourceText, disambiguation, n);
    if (!whole.isEmpty() || qstrcmp(context, kTexts) != 0 || !sourceText) return whole;
    const QString text = QString::fromUtf8(sourceText);
    {
        QMutexLocker lock(&mutex_);
        if (auto it = cache_.constFind(text); it != cache_.cend()) return *it;
    }
    const QString out = translatePieces(text);
    QMutexLocker lock(&mutex_);
    if (cache_.size() >= kCacheLimit) cache_.clear();
    cache_.insert(text, out);
    return out;
}

QString TextCatalogue::translatePieces(const QString& text) const {
    QString out;
    out.reserve(text.size() * 2);
    qsizetype i = 0;
    while (i < text.size()) {
        if (!InRun(text[i])) {
            out += text[i++];
            continue;
        }
        qsizetype end = i;
        while (end < text.size() && InRun(text[end])) ++end;
        // Longest known piece first; a character no piece starts with stays as it is.
        while (i < end) {
            qsizetype len = std::min(kLongestPiece, end - i);
            for (; len > 0; --len) {
                const QString english = piece(text.mid(i, len));
                if (!english.isEmpty()) {
                    // "提示信息:" + a name: English puts a space after the colon.
                    if (out.endsWith(QLatin1Char(':')) && english.front().isLetter()) out += QLatin1Char(' ');
                    out += english;
                    break;
                }
            }
            if (len == 0) out += text[i++];
            else i += len;
        }
    }
    return out;
}

QString TextCatalogue::piece(const QString& run) const {
    return QTranslator::translate("Words", run.toUtf8().constData());
}
