#pragma once
// The optional table of emissivity and reflected apparent temperature by image
// code: a comma-separated text file of three numbers per line.

#include <string>
#include <string_view>
#include <vector>

namespace ardentis
{

// Columns of one row, stored row after row in a table array.
enum ReflColumn { ReflCode = 0, ReflEmissivity = 1, ReflTemperature = 2, ReflColumns = 3 };

// A table file read: its rows (rows × 3 values), or why it could not be
// used (then no rows).
struct ReflTableFile {
    std::vector<double> rows;
    std::string problem;
    int bad_line = 0; // the 1-based line refused; 0 when the file itself could not be read
};

// Parses the text of a table file. Every line is a row, the first one
// included; a final line without line feed counts too. Each line splits at
// its first two commas; each field is read as a decimal number in the
// locale-independent notation with the rest of the field ignored. A line
// whose fields do not all begin with a finite number is refused, naming it
// as written; a blank line is a row that matches no code. A leading UTF-8
// byte-order mark is skipped.
ReflTableFile parse_refl_table(std::string_view text);

// No table of image numbers comes near this size.
constexpr long long max_table_bytes = 64LL << 20;

// Reads the file at `utf8_path` and parses it. A file that cannot be read, is
// larger than the limit or is not text (NUL bytes: UTF-16 or binary) gives
// an empty table and the reason.
ReflTableFile read_refl_table(const std::string &utf8_path);

// The 1-based number of the first row whose code equals `code` exactly, 0 when
// no row does.
int match_refl_code(const std::vector<double> &table, double code);

// The emissivity and reflected temperature of the 1-based row `row`.
void refl_row_values(const std::vector<double> &table, int row, double *emissivity, double *t_refl);

} // namespace ardentis
