#pragma once
// CSV files as people write them with spreadsheets: quoted fields, commas and
// line breaks inside quotes, a UTF-8 byte order mark, CRLF line ends.

#include <QString>

#include <string>
#include <string_view>
#include <vector>

namespace ardentis
{

// One record with the line of the file it starts on.
struct CsvRecord {
    int line = 0;
    std::vector<std::string> fields; // UTF-8, unquoted
    // Field `i`, empty when the record is shorter.
    std::string field(size_t i) const { return i < fields.size() ? fields[i] : std::string(); }
};

struct CsvFile {
    std::vector<CsvRecord> records; // the header first; blank lines left out
    QString problem;                // why the file cannot be used, naming the line
};

// Reads a whole CSV file of UTF-8 text, held to the limits of text inputs.
CsvFile read_csv_file(const QString &path);

// Parses CSV text; a leading byte order mark is skipped.
CsvFile parse_csv(std::string_view text);

// Why the file has no header to read: its own problem, or no line at all.
QString header_problem(const CsvFile &csv);

// The index of the column named `name` (ignoring case and spaces around it),
// or -1.
int column_index(const CsvRecord &header, const QString &name);

// For a header of one field holding semicolons or tabs, as spreadsheets set
// for a decimal comma save it: a sentence that says so, after a comma;
// otherwise nothing.
QString separator_hint(const CsvRecord &header);

} // namespace ardentis
