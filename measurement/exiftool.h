#pragma once
// The ExifTool queries made on one radiometric JPEG. Every query is one run of
// the tool with one tag and the file as last argument; the tool's standard
// output is the answer.

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <functional>

namespace ardentis
{

// The program name the platform knows the tool by.
QString exiftool_program();

// No real answer comes near this size; a tool that writes more is broken.
constexpr qint64 max_answer_bytes = 256LL << 20;

// The longest wait for the tool's answer on one image, unless the user
// chooses another: a tool that hangs skips its pair instead of the run.
constexpr int default_tool_timeout_ms = 60000;

// What one query gave: the tool's standard output, and why the answer is not
// complete when it is not (the tool did not answer in time, died before the
// end, or answered too much).
struct ToolAnswer {
    QByteArray output;
    QString problem;
    bool complete() const { return problem.isEmpty(); }
};

// A tool started in a process group of its own, so that ending it ends
// whatever it started too. When the program ends, even killed, the tool ends
// with it.
class ChildProcess : public QProcess
{
public:
    ChildProcess();
    ~ChildProcess() override;
    // Starts the tool and waits until it runs; false when it cannot start.
    bool start_tool(const QString &program, const QStringList &arguments);
    // Kills the tool's whole group and waits for the tool.
    void end();

protected:
    void setupChildProcess() override;

private:
    void release_group();

    qint64 parent_;
    qint64 group_ = 0;
};

// Kills the groups of every tool running, and lets no tool start after:
// for a process about to end.
void end_all_tools();

// Answers ExifTool queries. The window starts the tool once per query; another
// front end may keep one tool running and hand it query after query, as long
// as the arguments and the answers are the same.
class ExifTool
{
public:
    virtual ~ExifTool() = default;
    // Runs the tool with `arguments` and returns its standard output.
    virtual ToolAnswer output(const QStringList &arguments) = 0;
    // Runs the tool with `arguments`, its standard output written to the file
    // `path`, which is emptied (or created) first. Returns why the file does
    // not hold the answer, or an empty text.
    virtual QString output_to_file(const QStringList &arguments, const QString &path) = 0;
};

// Starts the tool afresh for every query and waits for it, each answer
// within `timeout_ms` (-1: no limit).
class ProcessExifTool : public ExifTool
{
public:
    explicit ProcessExifTool(QString program = exiftool_program(),
                             int timeout_ms = default_tool_timeout_ms);
    ToolAnswer output(const QStringList &arguments) override;
    QString output_to_file(const QStringList &arguments, const QString &path) override;

private:
    QString program_;
    int timeout_ms_;
};

// Why an answer stopped or a working file failed: texts shared by every way
// of asking the tool.
QString timeout_problem(int timeout_ms);
QString too_large_problem();
QString work_file_problem(const QString &path, const QString &error);

// Gives the working file `path` what `fill` writes into a new file beside
// it, which then takes the name: a link standing there is replaced, never
// written through, and whatever `fill` does, the previous image's data is
// gone. `fill` returns why what it wrote is not the answer; the result is
// that, or why the file could not be made.
QString replace_work_file(const QString &path, const std::function<QString(QFile &next)> &fill);

// Milliseconds left of `timeout_ms` (-1: no limit) after `elapsed_ms`.
int time_left(int timeout_ms, qint64 elapsed_ms);

// Standard output as text: the bytes up to the first NUL byte, as UTF-8.
QString output_text(const QByteArray &output);

// The number at the start of a query's text, read as atof reads it in the C
// locale; 0 when the text does not begin with a number.
double text_number(const QString &text);

// The capture time text: the tool's "-DateTimeOriginal" line, untrimmed;
// `problem`, when given, receives why the answer is not complete.
QString query_capture_time(ExifTool &tool, const QString &file, QString *problem = nullptr);

// The time of day in a capture time text: the 8 bytes at byte offset 45 of its
// UTF-8 form, fewer when the text or its line ends earlier. Anything but
// digits and colons there gives an empty time, so that the summary line
// keeps its columns.
QByteArray time_of_day(const QString &capture_time_text);

// The same from the DateTimeOriginal value as the tool's JSON answer gives
// it ("2014:03:12 10:15:32"), taken as it stands in the tool's line: a value
// shorter than a whole date and time gives what the line gives.
QByteArray time_of_day_from_value(const QByteArray &value);

// Why the text the tool gave for the numeric tag `tag` of the radiometric
// image cannot be used: it is missing, not a number or not finite. The text
// is quoted as written.
QString value_text_problem(const char *tag, const QString &text);

// One tag, asked for bare ("-b") and without the tool's warning.
ToolAnswer query_tag(ExifTool &tool, const char *tag, const QString &file);

// Writes the raw thermal image of `file` to `work_file` (emptied first).
QString query_raw_thermal_image(ExifTool &tool, const QString &file, const QString &work_file);

} // namespace ardentis
