#include "refltable/refltable.h"

#include "common/cnumber.h"

#include <filesystem>
#include <fstream>
#include <iterator>

namespace ardentis
{

namespace
{

void parse_line(std::string_view line, std::vector<double> &table)
{
    std::string_view fields[ReflColumns];
    size_t start = 0;
    for (int f = 0; f < ReflColumns; ++f) {
        if (start > line.size())
            break; // fewer than two commas: the missing fields stay empty
        const size_t comma = f + 1 < ReflColumns ? line.find(',', start) : std::string_view::npos;
        const size_t end = comma == std::string_view::npos ? line.size() : comma;
        fields[f] = line.substr(start, end - start);
        start = comma == std::string_view::npos ? line.size() + 1 : comma + 1;
    }
    for (const auto &field : fields)
        table.push_back(leading_number(field, NumberSyntax::Decimal));
}

} // namespace

std::vector<double> parse_refl_table(std::string_view text)
{
    static constexpr std::string_view bom = "\xEF\xBB\xBF";
    if (text.substr(0, bom.size()) == bom)
        text.remove_prefix(bom.size());

    std::vector<double> table;
    size_t start = 0;
    while (start < text.size()) {
        const size_t lf = text.find('\n', start);
        const size_t end = lf == std::string_view::npos ? text.size() : lf;
        parse_line(text.substr(start, end - start), table);
        start = end + 1;
    }
    return table;
}

ReflTableFile read_refl_table(const std::string &utf8_path)
{
    const std::filesystem::path path = std::filesystem::u8path(utf8_path);
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error))
        return {{}, "it is not a readable file"};
    if (std::filesystem::file_size(path, error) > std::uintmax_t(max_table_bytes))
        return {{}, "it is larger than " + std::to_string(max_table_bytes >> 20) + " MB"};
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return {{}, "it is not a readable file"};
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        return {{}, "it cannot be read"};
    if (text.find('\0') != std::string::npos)
        return {{}, "it is not a text file (UTF-16 or binary)"};
    return {parse_refl_table(text), {}};
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
