#include "ui/ColumnWidths.h"

#include <QHeaderView>
#include <QStyle>
#include <QStyleOptionHeader>
#include <QTableView>

#include <algorithm>

void FitColumnsToTexts(QTableView* table, std::initializer_list<std::pair<int, QString>> samples) {
    const QAbstractItemModel* model = table->model();
    QHeaderView* header = table->horizontalHeader();
    if (!model) return;
    const QFontMetrics headerFont(header->font()), cellFont(table->font());
    // The style's margins around a header's text, its sort arrow, and a cell's padding.
    QStyleOptionHeader option;
    option.initFrom(header);
    const int margin = 2 * header->style()->pixelMetric(QStyle::PM_HeaderMargin, &option, header);
    const int arrow = header->style()->pixelMetric(QStyle::PM_HeaderMarkSize, &option, header);
    const int cellPadding = 2 * table->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, table) + 12;
    const QString number = QStringLiteral("-000.00");
    for (int c = 0; c < model->columnCount(); ++c) {
        const QString title = model->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
        QString sample = number;
        for (const auto& [column, text] : samples)
            if (column == c) sample = text;
        const int width = std::max(headerFont.horizontalAdvance(title) + margin + arrow + 8,
                                   cellFont.horizontalAdvance(sample) + cellPadding);
        table->setColumnWidth(c, width);
    }
}
