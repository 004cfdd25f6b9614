#pragma once
// The ExifTool queries made on one radiometric JPEG. Every query is one run of
// the tool with one tag and the file as last argument; the tool's standard
// output is the answer.

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace ardentis
{

// The program name the platform knows the tool by.
QString exiftool_program();

// Answers ExifTool queries. The window starts the tool once per query; another
// front end may keep one tool running and hand it query after query, as long
// as the arguments and the answers are the same.
class ExifTool
{
public:
    virtual ~ExifTool() = default;
    // Runs the tool with `arguments` and returns its standard output.
    virtual QByteArray output(const QStringList &arguments) = 0;
    // Runs the tool with `arguments`, its standard output written to the file
    // `path`, which is emptied (or created) first.
    virtual void output_to_file(const QStringList &arguments, const QString &path) = 0;
};

// Starts the tool afresh for every query and waits for it without a time limit.
class ProcessExifTool : public ExifTool
{
public:
    explicit ProcessExifTool(QString program = exiftool_program());
    QByteArray output(const QStringList &arguments) override;
    void output_to_file(const QStringList &arguments, const QString &path) override;

private:
    QString program_;
};

// Standard output as text: the bytes up to the first NUL byte, as UTF-8.
QString output_text(const QByteArray &output);

// The number at the start of a query's text, read as atof reads it in the C
// locale; 0 when the text does not begin with a number.
double text_number(const QString &text);

// The capture time text: the tool's "-DateTimeOriginal" line, untrimmed.
QString query_capture_time(ExifTool &tool, const QString &file);

// The time of day in a capture time text: the 8 bytes at byte offset 45 of its
// UTF-8 form, fewer when the text ends earlier, empty when it has no byte there.
QByteArray time_of_day(const QString &capture_time_text);

// One numeric tag, asked for bare ("-b") and without the tool's warning.
double query_value(ExifTool &tool, const char *tag, const QString &file);

// Writes the raw thermal image of `file` to `work_file` (emptied first).
void query_raw_thermal_image(ExifTool &tool, const QString &file, const QString &work_file);

} // namespace ardentis
