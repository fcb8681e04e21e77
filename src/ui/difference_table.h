#pragma once

#include <QString>
#include <vector>

#include "configfile/difference.h"

class QTableWidget;

// Fills a table with differences, one row each: channel ("—" for the whole instrument),
// setting, then the two values under the headings `left` and `right`. Read-only, rows
// selected whole.
void ShowDifferences(QTableWidget* table, const std::vector<rv::FieldDifference>& differences,
                     const QString& left, const QString& right);
