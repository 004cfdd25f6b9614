#include "refltable/refltable.h"

#include "common/cnumber.h"
#include "common/textinput.h"

#include <cmath>
#include <string>

namespace ardentis
{

namespace
{

const char *const field_names[ReflColumns] = {"image number", "emissivity",
                                              "reflected temperature"};

bool blank(std::string_view text)
{
    return text.find_first_not_of(" \t\r\v\f") == std::string_view::npos;
}

// Whether `rest` goes on with a comma and a number.
bool more_numbers(std::string_view rest)
{
    if (rest.empty() || rest.front() != ',')
        return false;
    size_t length = 0;
    leading_number(rest.substr(1), NumberSyntax::Decimal, &length);
    return length > 0;
}

// Why the field `f` (absent when `present` is false) is not a number.
std::string field_problem(int f, std::string_view field, bool present, double *value)
{
    const std::string name = field_names[f];
    if (!present)
        return "has no " + name;
    if (blank(field))
        return "has an empty " + name;
    size_t length = 0;
    *value = leading_number(field, NumberSyntax::Decimal, &length);
    if (length == 0)
        return "has the " + name + " '" + written_form(field) + "', which is not a number";
    if (!std::isfinite(*value))
        return "has the " + name + " '" + written_form(field) + "', which is too large";
    // What follows the last number is a note, unless it is a number more:
    // "101,0,95,21,5" written with decimal commas reads as other values.
    if (f + 1 == ReflColumns && more_numbers(field.substr(length)))
        return "has a number after its reflected temperature, as numbers written with a decimal "
               "comma give; write them with a decimal point";
    return {};
}

// Adds the row of `line`, or returns why it is not three numbers.
std::string parse_line(std::string_view line, std::vector<double> &table)
{
    if (blank(line)) { // a row no code matches
        table.insert(table.end(), ReflColumns, std::nan(""));
        return {};
    }
    double values[ReflColumns] = {};
    size_t start = 0;
    for (int f = 0; f < ReflColumns; ++f) {
        const bool present = start <= line.size();
        const size_t comma =
            f + 1 < ReflColumns && present ? line.find(',', start) : std::string_view::npos;
        const size_t end = comma == std::string_view::npos ? line.size() : comma;
        const std::string problem = field_problem(
            f, present ? line.substr(start, end - start) : std::string_view(), present, &values[f]);
        if (!problem.empty())
            return problem;
        start = comma == std::string_view::npos ? line.size() + 1 : comma + 1;
    }
    table.insert(table.end(), values, values + ReflColumns);
    return {};
}

} // namespace

ReflTableFile parse_refl_table(std::string_view text)
{
    text = without_byte_order_mark(text);
    ReflTableFile table;
    size_t start = 0;
    for (int number = 1; start < text.size(); ++number) {
        const size_t lf = text.find('\n', start);
        const size_t end = lf == std::string_view::npos ? text.size() : lf;
        std::string_view line = text.substr(start, end - start);
        const std::string problem = parse_line(line, table.rows);
        if (!problem.empty()) {
            if (!line.empty() && line.back() == '\r')
                line.remove_suffix(1);
            table.problem = QString::fromStdString("line " + std::to_string(number) + " ('" +
                                                   written_form(line) + "') " + problem);
            table.rows.clear();
            return table;
        }
        start = end + 1;
    }
    return table;
}

ReflTableFile read_refl_table(const QString &path)
{
    const TextInput input = read_text_input(path);
    if (!input.problem.isEmpty())
        return {{}, input.problem, input.unreadable};
    return parse_refl_table(input.text);
}

int match_refl_code(const std::vector<double> &table, double code)
{
    const size_t rows = table.size() / ReflColumns;
    for (size_t r = 0; r < rows; ++r) {
        if (table[r * ReflColumns + ReflCode] == code)
            return static_cast<int>(r + 1);
    }
    return 0;
}

void refl_row_values(const std::vector<double> &table, int row, double *emissivity, double *t_refl)
{
    const size_t at = size_t(row - 1) * ReflColumns;
    *emissivity = table[at + ReflEmissivity];
    *t_refl = table[at + ReflTemperature];
}

} // namespace ardentis
