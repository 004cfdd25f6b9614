#include "trials/fieldbook.h"

#include "common/cnumber.h"

#include <QStringList>

#include <algorithm>
#include <cmath>
#include <set>

namespace ardentis
{

namespace
{

// Image numbers are whole numbers: the digits of a photograph's name.
constexpr double largest_image = 1e15;

QString header_problem(const CsvRecord &header, int image_column)
{
    if (image_column < 0)
        return QStringLiteral("line %1: there is no column 'image'").arg(header.line);
    std::set<QString> seen;
    for (const std::string &name : header.fields)
        if (!seen.insert(QString::fromStdString(name).trimmed().toLower()).second)
            return QStringLiteral("line %1: the column '%2' is there twice")
                .arg(header.line)
                .arg(QString::fromStdString(written_form(name)));
    return {};
}

QString row_problem(const CsvRecord &record, size_t columns, int image_column, FieldBook::Row &row)
{
    if (record.fields.size() > columns &&
        std::any_of(record.fields.begin() + long(columns), record.fields.end(),
                    [](const std::string &f) { return !f.empty(); }))
        return QStringLiteral("line %1 has %2 fields, the header %3")
            .arg(record.line)
            .arg(record.fields.size())
            .arg(columns);
    const std::string image = record.field(size_t(image_column));
    const std::optional<double> number = decimal_number(image);
    if (!number || *number < 0 || *number != std::floor(*number) || *number > largest_image)
        return QStringLiteral("line %1: the image '%2' is not an image number (the digits of "
                              "the photograph's name, such as 101 for IMG_0101.jpg)")
            .arg(record.line)
            .arg(QString::fromStdString(written_form(image)));
    row.line = record.line;
    row.image = *number;
    for (size_t i = 0; i < columns; ++i)
        row.values.push_back(record.field(i));
    return {};
}

} // namespace

const FieldBook::Row *FieldBook::find(double image) const
{
    const auto found = row_of_image.find(image);
    return found == row_of_image.end() ? nullptr : &rows[found->second];
}

FieldBookFile field_book(const CsvFile &csv)
{
    FieldBookFile out;
    out.problem = header_problem(csv);
    if (!out.problem.isEmpty())
        return out;
    const CsvRecord &header = csv.records.front();
    const int image_column = column_index(header, QStringLiteral("image"));
    out.problem = header_problem(header, image_column);
    if (!out.problem.isEmpty())
        return out;
    FieldBook &book = out.book;
    book.columns = header.fields;
    book.header_line = header.line;
    for (size_t r = 1; r < csv.records.size(); ++r) {
        FieldBook::Row row;
        out.problem = row_problem(csv.records[r], header.fields.size(), image_column, row);
        if (out.problem.isEmpty()) {
            if (const FieldBook::Row *earlier = book.find(row.image))
                out.problem = QStringLiteral("line %1: the image %2 is also on line %3")
                                  .arg(row.line)
                                  .arg(row.image, 0, 'f', 0)
                                  .arg(earlier->line);
        }
        if (!out.problem.isEmpty())
            return out;
        book.row_of_image[row.image] = book.rows.size();
        book.rows.push_back(std::move(row));
    }
    return out;
}

FieldBookFile read_field_book(const QString &path)
{
    return field_book(read_csv_file(path));
}

QStringList rows_not_in(const FieldBook &book, const std::vector<double> &images)
{
    const std::set<double> run(images.begin(), images.end());
    QStringList rows;
    for (const FieldBook::Row &row : book.rows)
        if (!run.count(row.image))
            rows << QStringLiteral("line %1 (image %2)").arg(row.line).arg(row.image, 0, 'f', 0);
    return rows;
}

} // namespace ardentis
