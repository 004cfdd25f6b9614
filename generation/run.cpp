#include "run.h"

#include "alignment.h"
#include "cnumber.h"
#include "refltable.h"
#include "temperature.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <opencv2/imgcodecs.hpp>

#include <climits>
#include <cmath>

namespace ardentis
{

const char *const no_output_dir_text =
    "The process needs an Output directory to start.\n Press \"Select output directory\" button.";
const char *const too_few_images_text =
    "The process needs more than one image to start.\n Press \"Add image(s)\" button.";
const char *const odd_images_text =
    "It doesn't exist a even number of images.\nVerify the input images.";
const char *const result_file_text =
    "Result file cannot be created. \n Verify your user's privileges.";

namespace
{

void say(std::FILE *out, const std::string &text)
{
    if (out)
        std::fputs(text.c_str(), out);
}

// Decodes a picture unchanged; the file is read here so that any path the
// platform can open works, whatever its characters.
cv::Mat decode(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    if (bytes.isEmpty())
        return {};
    try {
        return cv::imdecode(
            cv::Mat(1, int(bytes.size()), CV_8UC1, const_cast<char *>(bytes.constData())),
            cv::IMREAD_UNCHANGED);
    } catch (const cv::Exception &) {
        return {};
    }
}

// Opens a file for writing in binary mode, so that lines end in "\n" on
// every platform.
std::FILE *open_for_writing(const QString &path)
{
#ifdef Q_OS_WIN
    return _wfopen(reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(path).utf16()),
                   L"wb");
#else
    return std::fopen(QFile::encodeName(path).constData(), "wb");
#endif
}

} // namespace

double parse_image_number(const QString &path, std::FILE *diagnostics)
{
    const QByteArray bytes = path.toUtf8();
    double number = 0;
    int k = 0;
    bool armed = false;
    for (int i = bytes.size() - 1; i >= 0; --i) {
        const char b = bytes[i];
        if (b == '.') {
            armed = true;
            say(diagnostics, "Found");
        } else if (armed && b >= '0' && b <= '9') {
            say(diagnostics, "numnum, index" + std::to_string(i) + ", val=" + b + "\n");
            number += (b - '0') * std::pow(10.0, k);
            ++k;
        } else {
            armed = false;
        }
    }
    return number;
}

int progress_value(int k, int pairs)
{
    return pairs == 1 ? 100 : int(100LL * k / (pairs - 1));
}

QStringList list_jpeg_files(const QString &dir)
{
    const QDir folder(dir);
    QStringList paths;
    for (const QString &entry :
         folder.entryList({QStringLiteral("*.jpg"), QStringLiteral("*.JPEG")},
                          QDir::Files | QDir::NoSymLinks, QDir::NoSort))
        paths << folder.absoluteFilePath(entry);
    return paths;
}

QString skipped_report(const RunResult &result)
{
    QString text = QStringLiteral("%1 of %2 image pairs could not be processed and were skipped:\n")
                       .arg(result.skipped.size())
                       .arg(result.pairs);
    for (const SkippedPair &s : result.skipped)
        text += QStringLiteral("\nPair %1: %2, %3\n    %4")
                    .arg(s.pair + 1)
                    .arg(s.radiometric, s.visible, s.reason);
    return text;
}

PairPlan PairPlanner::next(int k, const QString &radiometric, const QString &visible, double number)
{
    PairPlan plan;
    plan.pair = k;
    plan.radiometric = radiometric;
    plan.visible = visible;
    plan.number = number;
    if (input_.refl_loaded) {
        const int row = match_refl_code(input_.refl_table, number);
        if (row > 0) {
            refl_row_values(input_.refl_table, row, &emissivity_, &t_refl_);
            row_found_ = true;
            plan.table_hit = true;
            return plan;
        }
    }
    plan.flag_er = row_found_;
    plan.emissivity = emissivity_;
    plan.t_refl = t_refl_;
    return plan;
}

cv::Mat ExifToolMeasurer::temperatures(bool flag_er, const QString &file, double *emi_in,
                                       double *t_refl_in)
{
    return measure_temperatures(tool_, flag_er, file, emi_in, t_refl_in, work_file_);
}

QString ExifToolMeasurer::capture_time(const QString &file)
{
    return query_capture_time(tool_, file);
}

PairOutcome execute_pair(const PairPlan &plan, PairMeasurer &measurer, const QString &output_dir,
                         bool refl_loaded, std::FILE *diagnostics)
{
    PairOutcome outcome;
    if (!QFileInfo::exists(plan.radiometric)) {
        outcome.reason = QStringLiteral("The radiometric image does not exist.");
        return outcome;
    }
    if (!QFileInfo::exists(plan.visible)) {
        outcome.reason = QStringLiteral("The photograph does not exist.");
        return outcome;
    }
    const cv::Mat ir = decode(plan.radiometric);
    const cv::Mat rgb = decode(plan.visible);
    outcome.reason = pictures_problem(ir, rgb);
    if (outcome.reason.isEmpty() && !(plan.number <= double(INT_MAX)))
        outcome.reason = QStringLiteral("The image number %1 is too large for a file name.")
                             .arg(QString::fromStdString(format_fixed6(plan.number)));
    if (!outcome.reason.isEmpty())
        return outcome;

    double emissivity = plan.emissivity, t_refl = plan.t_refl;
    const cv::Mat temps =
        measurer.temperatures(plan.flag_er, plan.radiometric, &emissivity, &t_refl);
    if (!refl_loaded) {
        if (temps.total() >= 3 && temps.type() == CV_64FC1 && temps.isContinuous()) {
            const double *t = temps.ptr<double>(0);
            say(diagnostics, "\nDATA: " + format_fixed6(t[0]) + " " + format_fixed6(t[1]) + " " +
                                 format_fixed6(t[2]) + "\n");
        }
        say(diagnostics, "\n" + format_fixed6(emissivity) + "," + format_fixed6(t_refl) + "\n");
    }
    outcome.reason = temperatures_problem(temps);
    if (!outcome.reason.isEmpty())
        return outcome;

    const double mean = process_pair(ir, rgb, temps, output_dir, int(plan.number), &outcome.reason);
    if (!outcome.reason.isEmpty())
        return outcome;
    const QByteArray time = time_of_day(measurer.capture_time(plan.radiometric));
    outcome.summary_line =
        format_fixed6(plan.number) + "," + time.toStdString() + "," + format_fixed6(mean) + "\n";
    outcome.processed = true;
    return outcome;
}

std::FILE *start_run(const RunInput &input, RunFrontEnd &front, std::FILE *diagnostics,
                     RunResult &result)
{
    say(diagnostics, "JAJAJA");
    if (input.output_dirs.isEmpty()) {
        front.warning(QString::fromUtf8(no_output_dir_text));
        return nullptr;
    }
    if (input.image_files.size() < 2) {
        front.warning(QString::fromUtf8(too_few_images_text));
        return nullptr;
    }
    if (input.image_files.size() % 2 != 0) {
        front.warning(QString::fromUtf8(odd_images_text));
        return nullptr;
    }
    const QString out_dir = input.output_dirs.first();
    std::FILE *csv = open_for_writing(out_dir + QStringLiteral("/result.csv"));
    if (!csv) {
        front.critical(QString::fromUtf8(result_file_text));
        return nullptr;
    }
    result.started = true;
    result.pairs = int(input.image_files.size() / 2);
    std::fputs("Image number, Time, Average Temp\n", csv);
    say(diagnostics, input.refl_loaded ? "yes\n" : "no\n");
    const QDir out(out_dir);
    for (const char *sub : {"0Aligned", "1PartRGB", "2Mascara", "3tempmask"})
        out.mkdir(QString::fromLatin1(sub));
    return csv;
}

void record_outcome(std::FILE *csv, RunResult &result, const PairPlan &plan,
                    const PairOutcome &outcome)
{
    if (outcome.processed) {
        std::fputs(outcome.summary_line.c_str(), csv);
        ++result.processed;
    } else {
        result.skipped.push_back({plan.pair, plan.radiometric, plan.visible, outcome.reason});
    }
}

void finish_run(std::FILE *csv, const RunInput &input, RunResult &result, RunFrontEnd &front)
{
    const bool written = std::fflush(csv) == 0 && !std::ferror(csv);
    const bool closed = std::fclose(csv) == 0;
    const QDir out(input.output_dirs.first());
    for (const char *sub : {"0Aligned", "1PartRGB", "2Mascara"})
        for (const QString &path : list_jpeg_files(out.filePath(QString::fromLatin1(sub))))
            front.output_file(path);
    if (!written || !closed)
        front.warning(QStringLiteral("%1 could not be written completely.")
                          .arg(out.filePath(QStringLiteral("result.csv"))));
    if (!result.skipped.empty())
        front.warning(skipped_report(result));
}

RunResult run_generation(const RunInput &input, RunFrontEnd &front, PairMeasurer &measurer,
                         std::FILE *diagnostics)
{
    RunResult result;
    std::FILE *csv = start_run(input, front, diagnostics, result);
    if (!csv)
        return result;

    PairPlanner planner(input);
    for (int k = 0; k < result.pairs; ++k) {
        const QString &radiometric = input.image_files.at(2 * k);
        const QString &visible = input.image_files.at(2 * k + 1);
        const double number = parse_image_number(visible, diagnostics);
        front.progress(progress_value(k, result.pairs));
        const PairPlan plan = planner.next(k, radiometric, visible, number);
        if (plan.table_hit)
            continue;
        record_outcome(csv, result, plan,
                       execute_pair(plan, measurer, input.output_dirs.first(), input.refl_loaded,
                                    diagnostics));
    }
    finish_run(csv, input, result, front);
    return result;
}

} // namespace ardentis
