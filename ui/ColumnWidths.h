#pragma once
// Column widths from texts, not from every cell: each column is as wide as its header
// (with room for the sort indicator) or a sample of its widest cell, whichever is
// wider, in the table's own fonts. A table of 20,000 rows is laid out without
// measuring a row, and no header is cut, in any language.
#include <QString>

#include <initializer_list>
#include <utility>

class QTableView;

// `samples`: (column, its widest cell text); columns without one fit a short number.
void FitColumnsToTexts(QTableView* table, std::initializer_list<std::pair<int, QString>> samples);
