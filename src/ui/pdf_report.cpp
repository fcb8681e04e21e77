#include "ui/pdf_report.h"

#include <QFile>
#include <QFont>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QSaveFile>
#include <QTextDocument>

bool WritePdfReport(const QString& path, const QString& html, QString& error) {
    // Written whole to a temporary file beside the target, then put in its place.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        error = QString::fromUtf8("Не удалось создать файл «%1»: %2").arg(path, file.errorString());
        return false;
    }
    {
        QPdfWriter writer(&file);
        // Landscape: eight channel columns beside the settings' names.
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape,
                                         QMarginsF(12, 12, 12, 12), QPageLayout::Millimeter));
        writer.setTitle(QString::fromUtf8("Отчёт о конфигурации"));
        writer.setCreator("rv740x-config");
        QTextDocument document;
        // The application's font is sized in pixels, which the writer's 1200 dpi would make
        // tiny; the report is sized in points.
        QFont font = document.defaultFont();
        font.setPointSizeF(9);
        document.setDefaultFont(font);
        document.setHtml(html);
        document.print(&writer);
    }
    if (!file.commit()) {
        error =
            QString::fromUtf8("Не удалось записать файл «%1»: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}
