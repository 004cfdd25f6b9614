#pragma once
// Text files people hand a run (the reflected temperature table, field books,
// weather logs): read whole under one guard, with the same limits and the
// same words for what is wrong with them.

#include <QString>

#include <string>
#include <string_view>

namespace ardentis
{

// No table, field book or weather log comes near this size.
constexpr qint64 max_text_input_bytes = 64LL << 20;

// A text file's bytes, or why they cannot be used.
struct TextInput {
    std::string text;
    // Why the file cannot be used, in words that follow "cannot use the
    // file: " ("it is not a text file (UTF-16 or binary)"); empty when it can.
    QString problem;
    bool unreadable = false; // it could not be opened or read at all
};

// Reads the file at `path`: a regular file within the size limit that holds
// no NUL byte (which UTF-16 text and binary files do).
TextInput read_text_input(const QString &path);

// `text` without a leading UTF-8 byte order mark.
std::string_view without_byte_order_mark(std::string_view text);

// Whether `text` is UTF-8 throughout; a character cut short at its end is not.
bool is_utf8(std::string_view text);

// Bytes that may not be UTF-8 (a file name), readable in a message: the
// bytes beyond ASCII, control bytes and "%" as %XX.
QString escaped_bytes(std::string_view bytes);

} // namespace ardentis
