#include "ui/pdf_report.h"

#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <QStringList>
#include <algorithm>
#include <functional>
#include <vector>

namespace {

QString u(const std::string& text) {
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

constexpr int kResolution = 300;  // dots per inch of the page's coordinates
constexpr double kBodyPoints = 9;
constexpr double kSmallestPoints = 6;
constexpr double kHeadingPoints = 12;
constexpr double kTitlePoints = 16;
constexpr double kRunningPoints = 8;

QFont face(double points, bool bold = false) {
    QFont font = QGuiApplication::font();
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

// A text's words: blanks only separate them, however many there are.
QStringList wordsOf(const QString& text) { return text.split(' ', Qt::SkipEmptyParts); }

// The text in lines no wider than `width`, broken only between words; a word wider than that
// stands alone on its line.
QStringList linesOf(const QString& text, const QFontMetricsF& fm, double width) {
    QStringList lines;
    QString line;
    for (const QString& word : wordsOf(text)) {
        const QString longer = line.isEmpty() ? word : line + ' ' + word;
        // A hair of slack: a column made as wide as a text must hold it on one line.
        if (!line.isEmpty() && fm.horizontalAdvance(longer) > width + 1) {
            lines << line;
            line = word;
        } else {
            line = longer;
        }
    }
    if (!line.isEmpty() || lines.isEmpty()) lines << line;
    return lines;
}

// What has been placed on a page: drawn once the number of pages is known.
using Drawing = std::function<void(QPainter&)>;

// A table laid out for the page's width: its face, its columns' widths and its rows' heights.
struct TableLayout {
    QFont body;
    QFont bold;
    double padding = 0;
    std::vector<double> widths;
    double headHeight = 0;
    std::vector<double> rowHeights;
};

class ReportPages {
  public:
    ReportPages(const rv::ConfigurationReport& report, const QRectF& page, QPaintDevice* device)
        : report_(report), page_(page), device_(device) {
        const QFontMetricsF running = metrics(face(kRunningPoints));
        // The running line above the body, a rule under it.
        bodyTop_ = page_.top() + running.height() * 2;
        pages_.emplace_back();
        y_ = bodyTop_;
    }

    void layOut() {
        const QFont title = face(kTitlePoints, true);
        const QFontMetricsF tfm = metrics(title);
        const QString text = u(report_.title);
        place(tfm.height() * 1.6, [=, this](QPainter& p, double y) {
            p.setFont(title);
            p.drawText(QRectF(page_.left(), y, page_.width(), tfm.height()),
                       Qt::AlignLeft | Qt::AlignVCenter, text);
        });
        for (const rv::ReportTable& table : report_.tables) layOutTable(table);
        layOutSignatures();
    }

    int count() const { return static_cast<int>(pages_.size()); }

    void draw(QPainter& painter, QPdfWriter& writer) const {
        const QFont running = face(kRunningPoints);
        const QFontMetricsF fm = metrics(running);
        for (int i = 0; i < count(); ++i) {
            if (i > 0) writer.newPage();
            painter.setFont(running);
            painter.setPen(Qt::black);
            const QRectF line(page_.left(), page_.top(), page_.width(), fm.height());
            painter.drawText(line, Qt::AlignLeft | Qt::AlignVCenter, u(report_.runningLine));
            painter.drawText(line, Qt::AlignRight | Qt::AlignVCenter,
                             QString::fromUtf8("стр. %1 из %2").arg(i + 1).arg(count()));
            painter.setPen(QPen(Qt::black, 1));
            painter.drawLine(QPointF(page_.left(), line.bottom() + fm.height() / 3),
                             QPointF(page_.right(), line.bottom() + fm.height() / 3));
            for (const Drawing& d : pages_[static_cast<size_t>(i)]) d(painter);
        }
    }

  private:
    // Text measured as the page will hold it, at its own resolution.
    QFontMetricsF metrics(const QFont& font) const { return QFontMetricsF(font, device_); }

    double room() const { return page_.bottom() - y_; }

    void newPage() {
        pages_.emplace_back();
        y_ = bodyTop_;
    }

    void place(double height, const std::function<void(QPainter&, double)>& paint) {
        const double at = y_;
        pages_.back().push_back([paint, at](QPainter& p) { paint(p, at); });
        y_ += height;
    }

    TableLayout measure(const rv::ReportTable& table) const {
        const size_t n = table.columns.empty() ? (table.rows.empty() ? 1 : table.rows[0].size())
                                               : table.columns.size();
        TableLayout layout;
        // The body's face, smaller step by step while the columns' least widths overrun the
        // page: a word is never broken, a column is never narrower than its longest word.
        for (double points = kBodyPoints;; points -= 0.5) {
            layout.body = face(points);
            layout.bold = face(points, true);
            const QFontMetricsF fm = metrics(layout.body);
            const QFontMetricsF bfm = metrics(layout.bold);
            layout.padding = fm.height() * 0.3;
            std::vector<double> least(n, 0);
            std::vector<double> natural(n, 0);
            const auto widen = [&](size_t column, const QString& text, const QFontMetricsF& m) {
                for (const QString& word : wordsOf(text))
                    least[column] = std::max(least[column], m.horizontalAdvance(word));
                natural[column] =
                    std::max(natural[column], m.horizontalAdvance(wordsOf(text).join(' ')));
            };
            for (size_t c = 0; c < table.columns.size(); ++c) widen(c, u(table.columns[c]), bfm);
            for (const auto& row : table.rows)
                for (size_t c = 0; c < row.size() && c < n; ++c) widen(c, u(row[c]), fm);
            // The padding either side, and as much again, so a column made to a word's width
            // does not print it against the rule.
            for (size_t c = 0; c < n; ++c) {
                least[c] += 3 * layout.padding;
                natural[c] += 3 * layout.padding;
            }
            // The names' column as wide as its longest name, up to two fifths of the page; the
            // others share the rest alike, none narrower than its longest word.
            layout.widths.assign(n, 0);
            layout.widths[0] = std::max(least[0], std::min(natural[0], page_.width() * 0.4));
            double rest = page_.width() - layout.widths[0];
            if (n > 1) {
                std::vector<size_t> open;
                for (size_t c = 1; c < n; ++c) open.push_back(c);
                // Columns whose longest word is wider than an even share take that width.
                bool changed = true;
                while (changed && !open.empty()) {
                    changed = false;
                    const double share = rest / static_cast<double>(open.size());
                    for (auto it = open.begin(); it != open.end(); ++it) {
                        if (least[*it] > share) {
                            layout.widths[*it] = least[*it];
                            rest -= least[*it];
                            open.erase(it);
                            changed = true;
                            break;
                        }
                    }
                }
                const double share = open.empty() ? 0 : rest / static_cast<double>(open.size());
                for (const size_t c : open) layout.widths[c] = share;
            }
            double total = 0;
            for (const double w : layout.widths) total += w;
            if (total <= page_.width() + 0.5 || points <= kSmallestPoints) break;
        }
        const QFontMetricsF fm = metrics(layout.body);
        const QFontMetricsF bfm = metrics(layout.bold);
        const auto height = [&](const std::vector<std::string>& cells, const QFontMetricsF& m) {
            int lines = 1;
            for (size_t c = 0; c < cells.size() && c < n; ++c)
                lines = std::max(
                    lines,
                    static_cast<int>(
                        linesOf(u(cells[c]), m, layout.widths[c] - 2 * layout.padding).size()));
            return lines * m.height() + 2 * layout.padding;
        };
        layout.headHeight = table.columns.empty() ? 0 : height(table.columns, bfm);
        for (const auto& row : table.rows) layout.rowHeights.push_back(height(row, fm));
        return layout;
    }

    void placeRow(const TableLayout& layout, const std::vector<std::string>& cells, double height,
                  bool head) {
        const double left = page_.left();
        place(height, [=](QPainter& p, double y) {
            const QFont& font = head ? layout.bold : layout.body;
            const QFontMetricsF fm(font, p.device());
            p.setFont(font);
            double x = left;
            for (size_t c = 0; c < layout.widths.size(); ++c) {
                const QRectF cell(x, y, layout.widths[c], height);
                if (head) p.fillRect(cell, QColor(0xe8, 0xe8, 0xe8));
                p.setPen(QPen(Qt::black, 1));
                p.drawRect(cell);
                if (c < cells.size()) {
                    const QStringList lines =
                        linesOf(u(cells[c]), fm, layout.widths[c] - 2 * layout.padding);
                    double ly = y + layout.padding;
                    for (const QString& line : lines) {
                        p.drawText(QRectF(x + layout.padding, ly,
                                          layout.widths[c] - 2 * layout.padding, fm.height()),
                                   Qt::AlignLeft | Qt::AlignVCenter, line);
                        ly += fm.height();
                    }
                }
                x += layout.widths[c];
            }
        });
    }

    void layOutTable(const rv::ReportTable& table) {
        const TableLayout layout = measure(table);
        const QFont heading = face(kHeadingPoints, true);
        const QFontMetricsF hfm = metrics(heading);
        const double headingHeight = hfm.height() * 1.8;
        // A heading goes with its column heads and first row.
        const double first = table.rows.empty() ? 0 : layout.rowHeights[0];
        if (room() < headingHeight + layout.headHeight + first) newPage();
        const QString text = u(table.heading);
        place(headingHeight, [=, this](QPainter& p, double y) {
            p.setFont(heading);
            p.drawText(QRectF(page_.left(), y + hfm.height() * 0.6, page_.width(), hfm.height()),
                       Qt::AlignLeft | Qt::AlignVCenter, text);
        });
        if (!table.columns.empty()) placeRow(layout, table.columns, layout.headHeight, true);
        for (size_t r = 0; r < table.rows.size(); ++r) {
            if (room() < layout.rowHeights[r]) {
                newPage();
                if (!table.columns.empty())
                    placeRow(layout, table.columns, layout.headHeight, true);
            }
            placeRow(layout, table.rows[r], layout.rowHeights[r], false);
        }
    }

    void layOutSignatures() {
        const QFont body = face(kBodyPoints);
        const QFont bold = face(kBodyPoints, true);
        const QFontMetricsF fm = metrics(body);
        const double line = fm.height() * 2.2;
        const double height =
            fm.height() * 2 + line * static_cast<double>(report_.signatureLines.size() + 1);
        if (room() < height) newPage();
        const std::vector<std::string> who = report_.signatures;
        const std::vector<std::string> lines = report_.signatureLines;
        const double left = page_.left();
        const double column = page_.width() / static_cast<double>(std::max<size_t>(who.size(), 1));
        place(height, [=](QPainter& p, double y) {
            for (size_t i = 0; i < who.size(); ++i) {
                const double x = left + column * static_cast<double>(i);
                double ly = y + fm.height() * 2;
                p.setFont(bold);
                p.drawText(QRectF(x, ly, column, fm.height()), Qt::AlignLeft | Qt::AlignVCenter,
                           u(who[i]));
                p.setFont(body);
                for (const std::string& name : lines) {
                    ly += line;
                    const QString label = u(name) + ':';
                    p.drawText(QRectF(x, ly, column, fm.height()), Qt::AlignLeft | Qt::AlignVCenter,
                               label);
                    const double from = x + fm.horizontalAdvance(label) + fm.height() * 0.5;
                    p.drawLine(QPointF(from, ly + fm.height()),
                               QPointF(x + column * 0.85, ly + fm.height()));
                }
            }
        });
    }

    const rv::ConfigurationReport& report_;
    QRectF page_;
    QPaintDevice* device_;
    double bodyTop_ = 0;
    double y_ = 0;
    std::vector<std::vector<Drawing>> pages_;
};

}  // namespace

bool WritePdfReport(const QString& path, const rv::ConfigurationReport& report, QString& error) {
    // Written whole to a temporary file beside the target, then put in its place.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        error = QString::fromUtf8("Не удалось создать файл «%1»: %2").arg(path, file.errorString());
        return false;
    }
    {
        QPdfWriter writer(&file);
        writer.setResolution(kResolution);
        // Landscape: eight channel columns beside the settings' names.
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape,
                                         QMarginsF(12, 12, 12, 12), QPageLayout::Millimeter));
        writer.setTitle(u(report.title));
        writer.setCreator("rv740x-config");
        // The painter's origin is the paint rectangle's corner, inside the margins.
        ReportPages pages(
            report, QRectF(QPointF(0, 0), writer.pageLayout().paintRectPixels(kResolution).size()),
            &writer);
        pages.layOut();
        QPainter painter(&writer);
        pages.draw(painter, writer);
        painter.end();
    }
    if (!file.commit()) {
        error =
            QString::fromUtf8("Не удалось записать файл «%1»: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}
