#include "exiftool.h"

#include "cnumber.h"

#include <QFile>
#include <QProcess>

namespace ardentis
{

QString exiftool_program()
{
#ifdef Q_OS_WIN
    return QStringLiteral("exiftool.exe");
#else
    return QStringLiteral("exiftool");
#endif
}

ProcessExifTool::ProcessExifTool(QString program) : program_(std::move(program)) {}

QByteArray ProcessExifTool::output(const QStringList &arguments)
{
    QProcess process;
    process.start(program_, arguments, QIODevice::ReadWrite);
    process.waitForFinished(-1);
    return process.readAllStandardOutput();
}

void ProcessExifTool::output_to_file(const QStringList &arguments, const QString &path)
{
    // Empty the file here too: a tool that cannot be started must not leave
    // the previous image's data behind.
    QFile(path).open(QIODevice::WriteOnly | QIODevice::Truncate);
    QProcess process;
    process.setStandardOutputFile(path, QIODevice::Truncate);
    process.start(program_, arguments, QIODevice::ReadWrite);
    process.waitForFinished(-1);
}

QString output_text(const QByteArray &output)
{
    const int nul = output.indexOf('\0');
    return QString::fromUtf8(nul < 0 ? output : output.left(nul));
}

double text_number(const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    return leading_number(std::string_view(utf8.constData(), static_cast<size_t>(utf8.size())));
}

QString query_capture_time(ExifTool &tool, const QString &file)
{
    return output_text(tool.output({QStringLiteral("-DateTimeOriginal"), file}));
}

QByteArray time_of_day(const QString &capture_time_text)
{
    const QByteArray utf8 = capture_time_text.toUtf8();
    if (utf8.size() <= 45)
        return {};
    return utf8.mid(45, 8);
}

double query_value(ExifTool &tool, const char *tag, const QString &file)
{
    const QStringList arguments{QStringLiteral("-b"), QLatin1Char('-') + QLatin1String(tag),
                                QStringLiteral("--warning"), file};
    return text_number(output_text(tool.output(arguments)));
}

void query_raw_thermal_image(ExifTool &tool, const QString &file, const QString &work_file)
{
    tool.output_to_file({QStringLiteral("-b"), QStringLiteral("-FlirImage"),
                         QStringLiteral("-RawThermalImage"), QStringLiteral("--warning"), file},
                        work_file);
}

} // namespace ardentis
