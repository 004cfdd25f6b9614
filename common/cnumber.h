#pragma once
// Reading and writing numbers the way the C library does in the "C" locale,
// whatever locale the process runs under: a user whose locale writes decimal
// commas must still get the same files and read the same values.

#include <optional>
#include <string>
#include <string_view>

namespace ardentis
{

enum class NumberSyntax {
    // What atof accepts: decimal or hexadecimal, "inf", "infinity", "nan".
    Atof,
    // Plain decimal only: sign, digits, fraction, exponent.
    Decimal,
};

// Skips leading white space, converts the longest leading part that forms a
// number and ignores the rest. Text that does not begin with a number gives 0.
// `length`, when given, receives how much of the text was read (white space
// and sign included), 0 when it does not begin with a number.
double leading_number(std::string_view text, NumberSyntax syntax = NumberSyntax::Atof,
                      size_t *length = nullptr);

// A text as written, for a message: whole when short, otherwise its start
// followed by "..." and its length in bytes.
std::string written_form(std::string_view text);

// The whole of `text`, but for spaces and tabs around it, read as a plain
// decimal number (sign, digits, fraction, exponent); none when anything else
// is there or the value is not finite.
std::optional<double> decimal_number(std::string_view text);

// The text printf("%.*f") writes in the "C" locale: `decimals` decimals,
// "-0.000000" for a negative zero, "inf" and "-inf". A NaN is written "nan"
// whatever its sign.
std::string format_fixed(double value, int decimals);
void append_fixed(std::string &text, double value, int decimals);

// As append_fixed, but a value that rounds to zero is written without a
// sign: for figures of this system's own files and pages, where "-0.00" would
// only puzzle a reader. Files that keep printf's texts use append_fixed.
void append_figure(std::string &text, double value, int decimals);
std::string format_figure(double value, int decimals);

// printf("%f"): six decimals.
inline std::string format_fixed6(double value)
{
    return format_fixed(value, 6);
}

} // namespace ardentis
