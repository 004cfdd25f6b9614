#include "trials/csvfile.h"

#include "common/textinput.h"

#include <csv.h>

#include <algorithm>
#include <memory>

namespace ardentis
{

namespace
{

// Collects libcsv's fields and records, each record with the line it
// starts on.
struct Collector {
    CsvFile file;
    CsvRecord record;
    int line = 0;           // the line being parsed
    bool between = true;    // the last record has ended: the next line starts one
    bool ended_now = false; // a record ended in the line being parsed
};

void on_field(void *field, size_t size, void *data)
{
    auto *c = static_cast<Collector *>(data);
    c->record.fields.emplace_back(field ? static_cast<const char *>(field) : "", size);
}

void on_record(int, void *data)
{
    auto *c = static_cast<Collector *>(data);
    // Spreadsheets write blank rows as commas only: they are no records.
    const bool blank = std::all_of(c->record.fields.begin(), c->record.fields.end(),
                                   [](const std::string &f) { return f.empty(); });
    if (!blank)
        c->file.records.push_back(std::move(c->record));
    c->record = {};
    c->ended_now = true;
}

struct ParserDeleter {
    void operator()(csv_parser *p) const
    {
        csv_free(p);
        delete p;
    }
};

// Feeds one line (with its line end) to the parser.
QString parse_line(csv_parser *parser, Collector &c, const char *text, size_t size)
{
    ++c.line;
    if (text && !is_utf8(std::string_view(text, size)))
        return QStringLiteral("line %1 is not UTF-8 text; save the file as CSV in UTF-8")
            .arg(c.line);
    if (c.between)
        c.record.line = c.line;
    c.ended_now = false;
    if (csv_parse(parser, text, size, on_field, on_record, &c) != size)
        return csv_error(parser) == CSV_EPARSE
                   ? QStringLiteral("line %1 is not valid CSV: a quote is out of place (quote a "
                                    "field whole and double the quotes inside it)")
                         .arg(c.line)
                   : QStringLiteral("line %1 cannot be read: %2")
                         .arg(c.line)
                         .arg(QString::fromLatin1(csv_strerror(csv_error(parser))));
    const bool blank =
        std::all_of(text, text + size, [](char ch) { return ch == '\r' || ch == '\n'; });
    c.between = c.ended_now || (c.between && blank);
    return {};
}

} // namespace

CsvFile parse_csv(std::string_view text)
{
    text = without_byte_order_mark(text);
    std::unique_ptr<csv_parser, ParserDeleter> parser(new csv_parser());
    Collector c;
    if (csv_init(parser.get(), CSV_STRICT | CSV_STRICT_FINI) != 0) {
        c.file.problem = QStringLiteral("there is not enough memory to read it");
        return std::move(c.file);
    }
    for (size_t start = 0; start < text.size() && c.file.problem.isEmpty();) {
        const size_t lf = text.find('\n', start);
        const size_t end = lf == std::string_view::npos ? text.size() : lf + 1;
        c.file.problem = parse_line(parser.get(), c, text.data() + start, end - start);
        start = end;
    }
    if (c.file.problem.isEmpty() && csv_fini(parser.get(), on_field, on_record, &c) != 0)
        c.file.problem = QStringLiteral("the quoted field that starts on line %1 is not closed")
                             .arg(c.record.line);
    return std::move(c.file);
}

CsvFile read_csv_file(const QString &path)
{
    const TextInput input = read_text_input(path);
    if (!input.problem.isEmpty()) {
        CsvFile failed;
        failed.problem = input.problem;
        return failed;
    }
    return parse_csv(input.text);
}

QString header_problem(const CsvFile &csv)
{
    if (!csv.problem.isEmpty())
        return csv.problem;
    return csv.records.empty() ? QStringLiteral("it has no header line") : QString();
}

int column_index(const CsvRecord &header, const QString &name)
{
    for (size_t i = 0; i < header.fields.size(); ++i)
        if (QString::fromStdString(header.fields[i])
                .trimmed()
                .compare(name.trimmed(), Qt::CaseInsensitive) == 0)
            return int(i);
    return -1;
}

QString separator_hint(const CsvRecord &header)
{
    if (header.fields.size() != 1)
        return {};
    const std::string &only = header.fields.front();
    for (const auto &[c, name] : {std::pair<char, const char *>{';', "semicolons"}, {'\t', "tabs"}})
        if (only.find(c) != std::string::npos)
            return QStringLiteral(", and its fields are separated by %1: save it as CSV with "
                                  "commas")
                .arg(QLatin1String(name));
    return {};
}

} // namespace ardentis
