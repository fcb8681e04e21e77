#pragma once

#include <QString>

#include "configfile/report.h"

// Prints the configuration report to a PDF file of A4 pages, landscape: its tables with rows
// never split between pages and their column heads again on every page they go on to, words
// broken only between words (a column is at least as wide as its longest word, and a table
// too wide for the page gets a smaller face), every page headed by the report's running line
// and "стр. N из M", and the signatures' block kept whole at the end. On failure `error` says
// why (Russian) and no file is left at `path`.
bool WritePdfReport(const QString& path, const rv::ConfigurationReport& report, QString& error);
