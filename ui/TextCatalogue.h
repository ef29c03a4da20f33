#pragma once
// The English catalogue of the program's texts. Texts the code composes from
// pieces and numbers are not in it whole: they are translated run by run, each
// run of Chinese characters replaced by the longest known piece at its start.
#include <QHash>
#include <QMutex>
#include <QTranslator>

class TextCatalogue : public QTranslator {
public:
    // The context the code's texts are asked for in (the forms use their own).
    static constexpr const char* kTexts = "Texts";

    QString translate(const char* context, const char* sourceText, const char* disambiguation = nullptr,
                      int n = -1) const override;

    // The run-by-run translation on its own (exposed for tests).
    QString translatePieces(const QString& text) const;

private:
    QString piece(const QString& run) const;

    mutable QMutex mutex_;
    mutable QHash<QString, QString> cache_;   // texts translated piecewise, bounded
};
