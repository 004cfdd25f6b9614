#include "trials/fieldbook.h"

#include "common/cnumber.h"

#include <QDir>
#include <QFileInfo>
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

QString header_problem(const CsvRecord &header, int key_column)
{
    if (key_column < 0)
        return QStringLiteral("line %1: there is no column 'image' or 'file'").arg(header.line) +
               separator_hint(header);
    std::set<QString> seen;
    for (const std::string &name : header.fields)
        if (!seen.insert(QString::fromStdString(name).trimmed().toLower()).second)
            return QStringLiteral("line %1: the column '%2' is there twice")
                .arg(header.line)
                .arg(QString::fromStdString(written_form(name)));
    return {};
}

// The key a file's name is looked up by: a path made absolute, or a bare
// name, its accents composed as most systems write them (macOS and some
// spreadsheets write a letter and its accent apart).
QString file_key(const QString &file)
{
    return (file.contains(QLatin1Char('/')) ? QDir::cleanPath(QFileInfo(file).absoluteFilePath())
                                            : file)
        .normalized(QString::NormalizationForm_C);
}

QString key_problem(const CsvRecord &record, int key_column, bool by_file, FieldBook::Row &row)
{
    const std::string key = record.field(size_t(key_column));
    if (by_file) {
        row.file = QString::fromStdString(key).trimmed();
        return row.file.isEmpty() ? QStringLiteral("line %1: the file is empty").arg(record.line)
                                  : QString();
    }
    const std::optional<double> number = decimal_number(key);
    if (!number || *number < 0 || *number != std::floor(*number) || *number > largest_image)
        return QStringLiteral("line %1: the image '%2' is not an image number (the digits of "
                              "the photograph's name, such as 101 for IMG_0101.jpg)")
            .arg(record.line)
            .arg(QString::fromStdString(written_form(key)));
    row.image = *number;
    return {};
}

QString row_problem(const CsvRecord &record, size_t columns, int key_column, bool by_file,
                    FieldBook::Row &row)
{
    if (record.fields.size() > columns &&
        std::any_of(record.fields.begin() + long(columns), record.fields.end(),
                    [](const std::string &f) { return !f.empty(); }))
        return QStringLiteral("line %1 has %2 fields, the header %3")
            .arg(record.line)
            .arg(record.fields.size())
            .arg(columns);
    row.line = record.line;
    for (size_t i = 0; i < columns; ++i)
        row.values.push_back(record.field(i));
    return key_problem(record, key_column, by_file, row);
}

// Files the row names already named by an earlier row.
QString repeated_problem(const FieldBook &book, const FieldBook::Row &row)
{
    if (book.by_file) {
        const auto found = book.row_of_file.find(file_key(row.file));
        return found == book.row_of_file.end()
                   ? QString()
                   : QStringLiteral("line %1: the file '%2' is also on line %3")
                         .arg(row.line)
                         .arg(row.file)
                         .arg(book.rows[found->second].line);
    }
    const auto found = book.row_of_image.find(row.image);
    return found == book.row_of_image.end()
               ? QString()
               : QStringLiteral("line %1: the image %2 is also on line %3")
                     .arg(row.line)
                     .arg(row.image, 0, 'f', 0)
                     .arg(book.rows[found->second].line);
}

} // namespace

const FieldBook::Row *FieldBook::find(const ImageId &image) const
{
    const std::vector<const Row *> named = rows_naming(image);
    return named.empty() ? nullptr : named.front();
}

std::vector<const FieldBook::Row *> FieldBook::rows_naming(const ImageId &image) const
{
    std::vector<const Row *> named;
    if (!by_file) {
        const auto found = row_of_image.find(image.number);
        if (found != row_of_image.end())
            named.push_back(&rows[found->second]);
        return named;
    }
    for (const QString &file : image.files)
        for (const QString &key : {file_key(file), file_key(QFileInfo(file).fileName())}) {
            const auto found = row_of_file.find(key);
            if (!file.isEmpty() && found != row_of_file.end()) {
                if (std::find(named.begin(), named.end(), &rows[found->second]) == named.end())
                    named.push_back(&rows[found->second]);
                break;
            }
        }
    return named;
}

FieldBookFile field_book(const CsvFile &csv)
{
    FieldBookFile out;
    out.problem = header_problem(csv);
    if (!out.problem.isEmpty())
        return out;
    const CsvRecord &header = csv.records.front();
    FieldBook &book = out.book;
    int key_column = column_index(header, QStringLiteral("image"));
    book.by_file = key_column < 0;
    if (book.by_file)
        key_column = column_index(header, QStringLiteral("file"));
    out.problem = header_problem(header, key_column);
    if (!out.problem.isEmpty())
        return out;
    book.columns = header.fields;
    book.header_line = header.line;
    for (size_t r = 1; r < csv.records.size(); ++r) {
        FieldBook::Row row;
        out.problem =
            row_problem(csv.records[r], header.fields.size(), key_column, book.by_file, row);
        if (out.problem.isEmpty())
            out.problem = repeated_problem(book, row);
        if (!out.problem.isEmpty())
            return out;
        if (book.by_file)
            book.row_of_file[file_key(row.file)] = book.rows.size();
        else
            book.row_of_image[row.image] = book.rows.size();
        book.rows.push_back(std::move(row));
    }
    return out;
}

FieldBookFile read_field_book(const QString &path)
{
    return field_book(read_csv_file(path));
}

SharedRow first_shared_row(const FieldBook &book, const std::vector<ImageId> &images)
{
    std::map<const FieldBook::Row *, size_t> first;
    for (size_t k = 0; k < images.size(); ++k) {
        const FieldBook::Row *row = book.find(images[k]);
        if (!row)
            continue;
        const auto [found, fresh] = first.emplace(row, k);
        if (!fresh)
            return {row, found->second, k};
    }
    return {};
}

TwoRows first_named_twice(const FieldBook &book, const std::vector<ImageId> &images)
{
    for (size_t k = 0; k < images.size(); ++k) {
        const std::vector<const FieldBook::Row *> named = book.rows_naming(images[k]);
        if (named.size() > 1)
            return {k, named[0], named[1]};
    }
    return {};
}

QStringList rows_not_in(const FieldBook &book, const std::vector<ImageId> &images)
{
    std::set<const FieldBook::Row *> found;
    for (const ImageId &image : images)
        found.insert(book.find(image));
    QStringList rows;
    for (const FieldBook::Row &row : book.rows)
        if (!found.count(&row))
            rows << (book.by_file ? QStringLiteral("line %1 (file %2)").arg(row.line).arg(row.file)
                                  : QStringLiteral("line %1 (image %2)")
                                        .arg(row.line)
                                        .arg(row.image, 0, 'f', 0));
    return rows;
}

} // namespace ardentis
