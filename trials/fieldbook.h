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

struct FieldBook {
    std::vector<std::string> columns; // every column, `image` too, in file order
    int header_line = 0;
    struct Row {
        int line = 0;
        double image = 0;
        std::vector<std::string> values; // one per column, empty when the row is short
    };
    std::vector<Row> rows;
    std::map<double, size_t> row_of_image;

    // The row of an image number, or null.
    const Row *find(double image) const;
};

struct FieldBookFile {
    FieldBook book;
    QString problem; // why it cannot be used, naming the line
};

// A book from its CSV records (the header first).
FieldBookFile field_book(const CsvFile &csv);

FieldBookFile read_field_book(const QString &path);

// The rows whose image is none of `images`, as "line L (image N)" texts.
QStringList rows_not_in(const FieldBook &book, const std::vector<double> &images);

} // namespace ardentis
