#pragma once
// The optional table of emissivity and reflected apparent temperature by image
// code: a comma-separated text file of three numbers per line.

#include <QString>

#include <string_view>
#include <vector>

namespace ardentis
{

// Columns of one row, stored row after row in a table array.
enum ReflColumn { ReflCode = 0, ReflEmissivity = 1, ReflTemperature = 2, ReflColumns = 3 };

// A table file read: its rows (rows × 3 values), or why it could not be
// used (then no rows), naming the line refused.
struct ReflTableFile {
    std::vector<double> rows;
    QString problem;
    bool unreadable = false; // the file could not be opened or read at all
};

// Parses the text of a table file. Every line is a row, the first one
// included; a final line without line feed counts too. Each line splits at
// its first two commas; each field is read as a decimal number in the
// locale-independent notation with the rest of the field ignored. A line
// whose fields do not all begin with a finite number is refused, naming it
// as written; a blank line is a row that matches no code. A leading UTF-8
// byte-order mark is skipped.
ReflTableFile parse_refl_table(std::string_view text);

// Reads the file at `path` and parses it. A file that cannot be read, is
// larger than the limit of text inputs or is not text (UTF-16 or binary)
// gives an empty table and the reason.
ReflTableFile read_refl_table(const QString &path);

// The 1-based number of the first row whose code equals `code` exactly, 0 when
// no row does.
int match_refl_code(const std::vector<double> &table, double code);

// The emissivity and reflected temperature of the 1-based row `row`.
void refl_row_values(const std::vector<double> &table, int row, double *emissivity, double *t_refl);

} // namespace ardentis
