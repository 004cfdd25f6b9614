#include "common/cnumber.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace ardentis
{

namespace
{

bool is_c_space(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}

bool is_hex_digit(char c)
{
    return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// The value of a leading number that overflows or underflows a double, as
// strtod gives it: infinity for a large magnitude, zero for a tiny one.
double out_of_range_value(std::string_view digits)
{
    const auto e = digits.find_first_of("eEpP");
    const bool tiny = e != std::string_view::npos && e + 1 < digits.size() && digits[e + 1] == '-';
    return tiny ? 0.0 : std::numeric_limits<double>::infinity();
}

} // namespace

double leading_number(std::string_view text, NumberSyntax syntax, size_t *length)
{
    if (length)
        *length = 0;
    size_t i = 0;
    while (i < text.size() && is_c_space(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    const std::string_view rest = text.substr(i);
    if (rest.empty())
        return 0.0;

    double value = 0.0;
    const char *first = rest.data();
    const char *last = rest.data() + rest.size();
    std::from_chars_result r{first, std::errc::invalid_argument};

    const bool hex =
        syntax == NumberSyntax::Atof && rest.size() > 2 && rest[0] == '0' &&
        (rest[1] == 'x' || rest[1] == 'X') &&
        (is_hex_digit(rest[2]) || (rest[2] == '.' && rest.size() > 3 && is_hex_digit(rest[3])));
    if (hex) {
        r = std::from_chars(first + 2, last, value, std::chars_format::hex);
    } else {
        if (syntax == NumberSyntax::Decimal && !is_digit(rest[0]) && rest[0] != '.')
            return 0.0;
        r = std::from_chars(first, last, value, std::chars_format::general);
    }
    if (r.ec == std::errc::result_out_of_range)
        value = out_of_range_value(std::string_view(first, static_cast<size_t>(r.ptr - first)));
    else if (r.ec != std::errc())
        return 0.0;
    if (length)
        *length = i + static_cast<size_t>(r.ptr - first);
    return negative ? -value : value;
}

std::optional<double> decimal_number(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    const size_t digits = !text.empty() && (text[0] == '-' || text[0] == '+') ? 1 : 0;
    if (text.size() <= digits || !(is_digit(text[digits]) || text[digits] == '.'))
        return std::nullopt;
    double value = 0;
    const char *first = text.data() + digits, *last = text.data() + text.size();
    const auto r = std::from_chars(first, last, value, std::chars_format::general);
    if (r.ec != std::errc() || r.ptr != last || !std::isfinite(value))
        return std::nullopt;
    return text[0] == '-' ? -value : value;
}

std::string written_form(std::string_view text)
{
    constexpr size_t shown = 40;
    if (text.size() <= shown)
        return std::string(text);
    size_t cut = shown - 8;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
        --cut; // not inside a UTF-8 character
    return std::string(text.substr(0, cut)) + "... (" + std::to_string(text.size()) + " bytes)";
}

namespace
{

// "00" to "99", for writing numbers two digits at a time.
constexpr auto digit_pairs = [] {
    std::array<char, 200> pairs{};
    for (int i = 0; i < 100; ++i) {
        pairs[size_t(2 * i)] = char('0' + i / 10);
        pairs[size_t(2 * i + 1)] = char('0' + i % 10);
    }
    return pairs;
}();

// printf's rounding done in integers, for the common case: the value times
// 10^decimals is below 2^52 and not within reach of a tie, where the
// rounding of that product could decide the digit. Returns false otherwise.
bool append_fast(std::string &text, double value, int decimals)
{
    static const double scales[] = {1, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9};
    if (decimals < 0 || decimals > 9)
        return false;
    const double scaled = std::fabs(value) * scales[decimals];
    if (!(scaled < 4.0e15))
        return false;
    const double whole = std::floor(scaled), fraction = scaled - whole;
    if (std::fabs(fraction - 0.5) <= scaled * 4e-16 + 1e-12)
        return false;
    std::uint64_t n = std::uint64_t(whole) + (fraction > 0.5 ? 1 : 0);
    // The digits written from the last, two at a time: the decimals, the
    // point, the whole part.
    char digits[32];
    char *const end = digits + sizeof digits;
    char *start = end;
    const auto put_two = [&start](std::uint64_t two) {
        start -= 2;
        std::memcpy(start, digit_pairs.data() + 2 * two, 2);
    };
    int left = decimals;
    for (; left >= 2; left -= 2, n /= 100)
        put_two(n % 100);
    if (left == 1) {
        *--start = char('0' + n % 10);
        n /= 10;
    }
    if (decimals > 0)
        *--start = '.';
    for (; n >= 100; n /= 100)
        put_two(n % 100);
    if (n >= 10)
        put_two(n);
    else
        *--start = char('0' + n);
    if (std::signbit(value))
        *--start = '-';
    text.append(start, size_t(end - start));
    return true;
}

} // namespace

void append_fixed(std::string &text, double value, int decimals)
{
    if (std::isnan(value)) {
        text += "nan";
        return;
    }
    if (append_fast(text, value, decimals))
        return;
    char buffer[400]; // the largest double has 309 integer digits
    const auto r =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    text.append(buffer, r.ptr);
}

void append_figure(std::string &text, double value, int decimals)
{
    const size_t start = text.size();
    append_fixed(text, value, decimals);
    if (text[start] == '-' && text.find_first_not_of("0.", start + 1) == std::string::npos)
        text.erase(start, 1);
}

std::string format_figure(double value, int decimals)
{
    std::string text;
    append_figure(text, value, decimals);
    return text;
}

std::string format_fixed(double value, int decimals)
{
    std::string text;
    append_fixed(text, value, decimals);
    return text;
}

} // namespace ardentis
