#pragma once
// The field book of a trial: one row per image, naming its plot, genotype,
// treatment, replicate or whatever else the trial records.

#include "trials/csvfile.h"

#include <QString>
#include <QStringList>

#include <map>
#include <string>
#include <vector>

namespace ardentis
{

// What names a pair's image in a field book: its image number, and its files
// as the run names them (the photograph, the radiometric image).
struct ImageId {
    double number = 0;
    QStringList files;
};

struct FieldBook {
    std::vector<std::string> columns; // every column, the key too, in file order
    int header_line = 0;
    // Rows are keyed by the column `file`, a file's name with its folder or
    // without, rather than by `image`, the image number.
    bool by_file = false;
    struct Row {
        int line = 0;
        double image = 0;
        QString file;
        std::vector<std::string> values; // one per column, empty when the row is short
    };
    std::vector<Row> rows;
    std::map<double, size_t> row_of_image;
    std::map<QString, size_t> row_of_file; // by the path made absolute, or the bare name

    // The row of an image, or null.
    const Row *find(const ImageId &image) const;
    // The rows of each of an image's files that a row names, the first
    // `find`'s: a row naming a file by its path rather than by its bare name.
    std::vector<const Row *> rows_naming(const ImageId &image) const;
};

struct FieldBookFile {
    FieldBook book;
    QString problem; // why it cannot be used, naming the line
};

// A book from its CSV records (the header first).
FieldBookFile field_book(const CsvFile &csv);

FieldBookFile read_field_book(const QString &path);

// The first row of the book that names the images of two of `images`, and
// their places in `images`; no row when each row names one at most.
struct SharedRow {
    const FieldBook::Row *row = nullptr;
    size_t first = 0, second = 0;
};
SharedRow first_shared_row(const FieldBook &book, const std::vector<ImageId> &images);

// The first of `images` whose files two rows name (its photograph in one, its
// radiometric image in the other), and those rows; no rows when none is.
struct TwoRows {
    size_t image = 0;
    const FieldBook::Row *first = nullptr, *second = nullptr;
};
TwoRows first_named_twice(const FieldBook &book, const std::vector<ImageId> &images);

// The rows of none of `images`, as "line L (image N)" or "line L (file F)" texts.
QStringList rows_not_in(const FieldBook &book, const std::vector<ImageId> &images);

} // namespace ardentis
