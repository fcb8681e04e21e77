#pragma once

#include <QString>

// Prints an HTML page to a PDF file of A4 pages. On failure `error` says why (Russian) and
// no file is left at `path`.
bool WritePdfReport(const QString& path, const QString& html, QString& error);
