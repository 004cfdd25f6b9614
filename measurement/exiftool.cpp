#include "measurement/exiftool.h"

#include "common/cnumber.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>

#include <algorithm>
#include <atomic>
#include <cmath>

#include <mutex>
#include <set>

#ifdef Q_OS_UNIX
#include <csignal>
#include <unistd.h>
#endif
#ifdef Q_OS_LINUX
#include <sys/prctl.h>
#endif

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

namespace
{

// The groups of the tools running, for end_all_tools.
struct ToolGroups {
    std::mutex mutex;
    std::set<qint64> groups;
    bool ended = false; // by end_all_tools: no tool starts any more
};

ToolGroups &tool_groups()
{
    static ToolGroups g; // never destroyed before the threads that use it
    return g;
}

void kill_group(qint64 group)
{
#ifdef Q_OS_UNIX
    ::kill(-pid_t(group), SIGKILL);
#else
    Q_UNUSED(group);
#endif
}

} // namespace

ChildProcess::ChildProcess() : parent_(QCoreApplication::applicationPid()) {}

ChildProcess::~ChildProcess()
{
    // What the tool started and left behind ends with it.
    if (group_ > 0)
        kill_group(group_);
    release_group();
}

void ChildProcess::setupChildProcess()
{
#ifdef Q_OS_UNIX
    // Runs in the child between fork and exec: a group of its own, and the
    // signals the program holds back for its own ending let through.
    ::setpgid(0, 0);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
#endif
#ifdef Q_OS_LINUX
    // Ask the kernel to kill it when its parent goes, and go at once if the
    // parent is already gone.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (qint64(::getppid()) != parent_)
        ::_exit(127);
#endif
}

bool ChildProcess::start_tool(const QString &program, const QStringList &arguments)
{
    release_group();
    // Started and registered under the lock: a process ending on a signal
    // kills every tool, one being started too, and starts none after.
    ToolGroups &g = tool_groups();
    const std::lock_guard<std::mutex> lock(g.mutex);
    if (g.ended)
        return false;
    start(program, arguments, QIODevice::ReadWrite);
    if (!waitForStarted(-1))
        return false;
#ifdef Q_OS_UNIX
    group_ = processId();
    ::setpgid(pid_t(group_), pid_t(group_)); // also from here: no kill finds it unset
    g.groups.insert(group_);
#endif
    return true;
}

void ChildProcess::end()
{
    if (group_ > 0)
        kill_group(group_);
    kill();
    waitForFinished(-1);
    release_group();
}

void ChildProcess::release_group()
{
    if (group_ <= 0)
        return;
    ToolGroups &g = tool_groups();
    const std::lock_guard<std::mutex> lock(g.mutex);
    g.groups.erase(group_);
    group_ = 0;
}

void end_all_tools()
{
    ToolGroups &g = tool_groups();
    const std::lock_guard<std::mutex> lock(g.mutex);
    g.ended = true;
    for (const qint64 group : g.groups)
        kill_group(group);
}

QString timeout_problem(int timeout_ms)
{
    return QStringLiteral("ExifTool did not answer within %1 s.").arg(timeout_ms / 1000.0);
}

QString too_large_problem()
{
    return QStringLiteral("ExifTool answered more than %1 MB.").arg(max_answer_bytes >> 20);
}

QString work_file_problem(const QString &path, const QString &error)
{
    return QStringLiteral("The working file %1 cannot be written: %2").arg(path, error);
}

int time_left(int timeout_ms, qint64 elapsed_ms)
{
    return timeout_ms < 0 ? -1 : int(std::max<qint64>(0, timeout_ms - elapsed_ms));
}

ProcessExifTool::ProcessExifTool(QString program, int timeout_ms)
    : program_(std::move(program)), timeout_ms_(timeout_ms)
{
}

ToolAnswer ProcessExifTool::output(const QStringList &arguments)
{
    ToolAnswer answer;
    ChildProcess process;
    process.setStandardErrorFile(QProcess::nullDevice());
    if (!process.start_tool(program_, arguments))
        return answer; // a tool that cannot start prints nothing
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        answer.output += process.readAllStandardOutput();
        if (answer.output.size() > max_answer_bytes) {
            process.end();
            answer.problem = too_large_problem();
            break;
        }
        if (process.state() == QProcess::NotRunning)
            break;
        const int left = time_left(timeout_ms_, clock.elapsed());
        if (left == 0) {
            process.end();
            answer.problem = timeout_problem(timeout_ms_);
            break;
        }
        if (!process.waitForReadyRead(left) && process.state() == QProcess::Running &&
            process.error() != QProcess::Timedout)
            process.waitForFinished(left); // output closed: wait for the end
    }
    return answer;
}

QString ProcessExifTool::output_to_file(const QStringList &arguments, const QString &path)
{
    return replace_work_file(path, [&](QFile &next) {
        next.close(); // the tool writes it
        ChildProcess process;
        process.setStandardOutputFile(next.fileName(), QIODevice::Truncate);
        process.setStandardErrorFile(QProcess::nullDevice());
        process.start_tool(program_, arguments);
        if (!process.waitForFinished(timeout_ms_) && process.state() == QProcess::Running) {
            process.end();
            return timeout_problem(timeout_ms_);
        }
        return QString();
    });
}

QString replace_work_file(const QString &path, const std::function<QString(QFile &next)> &fill)
{
    static std::atomic<int> made{0};
    const QFileInfo place(path);
    QFile next(QStringLiteral("%1/.%2.%3-%4")
                   .arg(place.path(), place.fileName())
                   .arg(QCoreApplication::applicationPid())
                   .arg(made++));
    if (!next.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return work_file_problem(path, next.errorString());
    const QString problem = fill(next);
    next.close();
    QFile::remove(path); // the name only: what a link there leads to stays
    if (!next.rename(path)) {
        const QString error = next.errorString();
        next.remove();
        return work_file_problem(path, error);
    }
    return problem;
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

QString query_capture_time(ExifTool &tool, const QString &file, QString *problem)
{
    const ToolAnswer answer = tool.output({QStringLiteral("-DateTimeOriginal"), file});
    if (problem)
        *problem = answer.problem;
    return output_text(answer.output);
}

namespace
{

// The tool's line is its label padded to 32 columns, ": ", then the value
// and the line end; the time of day starts 11 bytes into the value.
constexpr int capture_label_width = 34;
constexpr int time_offset_in_value = 11;
constexpr int time_length = 8;

} // namespace

QByteArray time_of_day(const QString &capture_time_text)
{
    QByteArray time =
        capture_time_text.toUtf8().mid(capture_label_width + time_offset_in_value, time_length);
    // A short time ends at the tool's line end.
    for (const char line_end : {'\n', '\r'})
        if (time.contains(line_end))
            time.truncate(time.indexOf(line_end));
    for (const char c : time)
        if (!(c >= '0' && c <= '9') && c != ':')
            return {};
    return time;
}

QByteArray time_of_day_from_value(const QByteArray &value)
{
    // The value in the tool's line, so that a short one gives what the
    // window's query gives.
    return time_of_day(output_text(QByteArray(capture_label_width, ' ') + value + '\n'));
}

QString value_text_problem(const char *tag, const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    size_t length = 0;
    const double value = leading_number(std::string_view(utf8.constData(), size_t(utf8.size())),
                                        NumberSyntax::Atof, &length);
    if (text.trimmed().isEmpty())
        return QStringLiteral("%1 is missing from the radiometric image.").arg(QLatin1String(tag));
    if (length > 0 && std::isfinite(value))
        return {};
    const QByteArray shown = text.trimmed().toUtf8();
    return QStringLiteral("%1 of the radiometric image is '%2', which is not a %3.")
        .arg(QLatin1String(tag),
             QString::fromStdString(
                 written_form(std::string_view(shown.constData(), size_t(shown.size())))),
             length > 0 ? QStringLiteral("finite number") : QStringLiteral("number"));
}

ToolAnswer query_tag(ExifTool &tool, const char *tag, const QString &file)
{
    return tool.output({QStringLiteral("-b"), QLatin1Char('-') + QLatin1String(tag),
                        QStringLiteral("--warning"), file});
}

QString query_raw_thermal_image(ExifTool &tool, const QString &file, const QString &work_file)
{
    return tool.output_to_file({QStringLiteral("-b"), QStringLiteral("-FlirImage"),
                                QStringLiteral("-RawThermalImage"), QStringLiteral("--warning"),
                                file},
                               work_file);
}

} // namespace ardentis
