#include "measurement/stayopen.h"

#include <QElapsedTimer>

#include <algorithm>

namespace ardentis
{

namespace
{

// Whether `argument` survives the trip through the tool's argument stream
// unchanged: the tool reads one argument per line, drops white space at the
// start of a line and the line end, and skips empty lines and lines beginning
// with '#'.
bool streamable(const QString &argument)
{
    return !argument.isEmpty() && !argument.startsWith(QLatin1Char('#')) &&
           !argument.contains(QLatin1Char('\n')) && !argument.contains(QLatin1Char('\r')) &&
           !argument.at(0).isSpace();
}

} // namespace

StayOpenExifTool::StayOpenExifTool(QString program, int timeout_ms)
    : program_(std::move(program)), timeout_ms_(timeout_ms), fallback_(program_, timeout_ms)
{
}

StayOpenExifTool::~StayOpenExifTool()
{
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.write("-stay_open\nFalse\n");
    process_.closeWriteChannel();
    if (!process_.waitForFinished(5000))
        stop();
}

void StayOpenExifTool::stop()
{
    process_.end();
}

bool StayOpenExifTool::running()
{
    if (process_.state() == QProcess::Running)
        return true;
    if (start_failed_)
        return false;
    process_.setStandardErrorFile(QProcess::nullDevice());
    if (!process_.start_tool(program_, {QStringLiteral("-stay_open"), QStringLiteral("True"),
                                        QStringLiteral("-@"), QStringLiteral("-")})) {
        // A tool that cannot be started answers nothing, as a fresh start would.
        start_failed_ = true;
        return false;
    }
    return true;
}

ToolAnswer StayOpenExifTool::output(const QStringList &arguments)
{
    if (!std::all_of(arguments.begin(), arguments.end(), streamable))
        return fallback_.output(arguments);
    if (!running())
        return {};

    // The answer ends with "{ready<id>}\n". The id is new for every query, so
    // the marker cannot be confused with an earlier answer; it is looked for
    // only at the end of what has arrived, so binary data that happens to
    // contain other text does not end the answer early.
    const QByteArray id = QByteArray::number(next_id_++);
    QByteArray request;
    for (const QString &a : arguments)
        request += a.toUtf8() + '\n';
    request += "-execute" + id + '\n';
    process_.write(request);
    return read_answer("{ready" + id + "}\n");
}

ToolAnswer StayOpenExifTool::read_answer(const QByteArray &marker)
{
    ToolAnswer answer;
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        answer.output += process_.readAllStandardOutput();
        if (answer.output.endsWith(marker)) {
            answer.output.chop(marker.size());
            return answer;
        }
        if (answer.output.size() > max_answer_bytes) {
            answer.problem = too_large_problem();
            break;
        }
        if (process_.state() != QProcess::Running) {
            answer.problem = QStringLiteral("ExifTool stopped before its answer was complete.");
            break;
        }
        const int left = time_left(timeout_ms_, clock.elapsed());
        if (left == 0) {
            answer.problem = timeout_problem(timeout_ms_);
            break;
        }
        process_.waitForReadyRead(left);
    }
    stop(); // the next query starts a fresh tool
    return answer;
}

QString StayOpenExifTool::output_to_file(const QStringList &arguments, const QString &path)
{
    return replace_work_file(path, [&](QFile &next) {
        const ToolAnswer answer = output(arguments);
        if (next.write(answer.output) != answer.output.size() || !next.flush())
            return work_file_problem(path, next.errorString());
        return answer.problem;
    });
}

} // namespace ardentis
