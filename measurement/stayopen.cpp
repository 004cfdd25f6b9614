#include "stayopen.h"

#include <QFile>

namespace ardentis
{

StayOpenExifTool::StayOpenExifTool(QString program)
    : program_(std::move(program)), fallback_(program_)
{
}

StayOpenExifTool::~StayOpenExifTool()
{
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.write("-stay_open\nFalse\n");
    process_.closeWriteChannel();
    if (!process_.waitForFinished(5000)) {
        process_.kill();
        process_.waitForFinished(1000);
    }
}

bool StayOpenExifTool::streamable(const QString &argument)
{
    // The tool reads one argument per line, drops white space at the start of
    // a line and the line end, and skips empty lines and lines beginning
    // with '#'.
    if (argument.isEmpty() || argument.startsWith(QLatin1Char('#')) ||
        argument.contains(QLatin1Char('\n')) || argument.contains(QLatin1Char('\r')))
        return false;
    return !argument.at(0).isSpace();
}

bool StayOpenExifTool::running()
{
    if (process_.state() == QProcess::Running)
        return true;
    if (start_failed_)
        return false;
    process_.setStandardErrorFile(QProcess::nullDevice());
    process_.start(program_,
                   {QStringLiteral("-stay_open"), QStringLiteral("True"), QStringLiteral("-@"),
                    QStringLiteral("-")},
                   QIODevice::ReadWrite);
    if (!process_.waitForStarted(-1)) {
        // A tool that cannot be started answers nothing, as a fresh start would.
        start_failed_ = true;
        return false;
    }
    return true;
}

QByteArray StayOpenExifTool::output(const QStringList &arguments)
{
    for (const QString &a : arguments) {
        if (!streamable(a))
            return fallback_.output(arguments);
    }
    if (!running())
        return {};

    // The answer ends with "{ready<id>}\n". The id is new for every query, so
    // the marker cannot be confused with an earlier answer; it is looked for
    // only at the end of what has arrived, so binary data that happens to
    // contain other text does not end the answer early.
    const quint64 id = next_id_++;
    const QByteArray marker = "{ready" + QByteArray::number(id) + "}\n";
    QByteArray request;
    for (const QString &a : arguments)
        request += a.toUtf8() + '\n';
    request += "-execute" + QByteArray::number(id) + '\n';
    process_.write(request);

    QByteArray answer;
    while (!answer.endsWith(marker)) {
        if (!process_.waitForReadyRead(-1) && process_.state() != QProcess::Running) {
            answer += process_.readAllStandardOutput();
            if (answer.endsWith(marker))
                break;
            return answer; // the tool died: what it wrote is all there is
        }
        answer += process_.readAllStandardOutput();
    }
    answer.chop(marker.size());
    return answer;
}

void StayOpenExifTool::output_to_file(const QStringList &arguments, const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return;
    file.write(output(arguments));
}

} // namespace ardentis
