#include "run.h"

#include "alignment.h"
#include "cnumber.h"
#include "exiftool.h"

#include <QDir>
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

cv::Mat decode(const QString &path)
{
    try {
        return cv::imread(path.toUtf8().toStdString(), cv::IMREAD_UNCHANGED);
    } catch (const cv::Exception &) {
        return {};
    }
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

RunResult run_generation(const RunInput &input, RunFrontEnd &front, std::FILE *diagnostics)
{
    RunResult result;
    say(diagnostics, "JAJAJA");
    if (input.output_dirs.isEmpty()) {
        front.warning(QString::fromUtf8(no_output_dir_text));
        return result;
    }
    if (input.image_files.size() < 2) {
        front.warning(QString::fromUtf8(too_few_images_text));
        return result;
    }
    if (input.image_files.size() % 2 != 0) {
        front.warning(QString::fromUtf8(odd_images_text));
        return result;
    }

    const int pairs = int(input.image_files.size() / 2);
    double emissivity = 0, t_refl = 0;
    const QString out_dir = input.output_dirs.first();

    // "\n" line ends on every platform.
    std::FILE *csv =
        std::fopen((out_dir + QStringLiteral("/result.csv")).toUtf8().constData(), "wb");
    if (!csv) {
        front.critical(QString::fromUtf8(result_file_text));
        return result;
    }
    result.started = true;
    result.pairs = pairs;
    std::fputs("Image number, Time, Average Temp\n", csv);
    say(diagnostics, input.refl_loaded ? "yes\n" : "no\n");

    const QDir out(out_dir);
    for (const char *sub : {"0Aligned", "1PartRGB", "2Mascara", "3tempmask"})
        out.mkdir(QString::fromLatin1(sub));

    bool table_row_found = false;
    for (int k = 0; k < pairs; ++k) {
        const QString &radiometric = input.image_files.at(2 * k);
        const QString &visible = input.image_files.at(2 * k + 1);
        auto skip = [&](const QString &reason) {
            result.skipped.push_back({k, radiometric, visible, reason});
        };

        const cv::Mat ir = decode(radiometric);
        const cv::Mat rgb = decode(visible);
        const double number = parse_image_number(visible, diagnostics);
        front.progress(progress_value(k, pairs));

        // A table row only sets the values in force for the following pairs.
        bool flag_er = false;
        if (input.refl_loaded) {
            const int row = front.match_code(number);
            if (row > 0) {
                front.table_row(row, &emissivity, &t_refl);
                table_row_found = true;
                continue;
            }
            // Until a row is found each image keeps its own values.
            flag_er = table_row_found;
        }

        QString problem = pictures_problem(ir, rgb);
        if (problem.isEmpty() && !(number <= double(INT_MAX)))
            problem = QStringLiteral("The image number %1 is too large for a file name.")
                          .arg(QString::fromStdString(format_fixed6(number)));
        if (!problem.isEmpty()) {
            skip(problem);
            continue;
        }

        const cv::Mat temps = front.temperatures(flag_er, radiometric, &emissivity, &t_refl);
        if (!input.refl_loaded) {
            if (temps.total() >= 3 && temps.type() == CV_64FC1) {
                const double *t = temps.ptr<double>(0);
                say(diagnostics, "\nDATA: " + format_fixed6(t[0]) + " " + format_fixed6(t[1]) +
                                     " " + format_fixed6(t[2]) + "\n");
            }
            say(diagnostics, "\n" + format_fixed6(emissivity) + "," + format_fixed6(t_refl) + "\n");
        }
        problem = temperatures_problem(temps);
        if (!problem.isEmpty()) {
            skip(problem);
            continue;
        }

        const int file_number = int(number);
        QString error;
        const double mean = process_pair(ir, rgb, temps, out_dir, file_number, &error);
        if (!error.isEmpty()) {
            skip(error);
            continue;
        }
        const QByteArray time = time_of_day(front.capture_time(radiometric));
        const std::string line =
            format_fixed6(number) + "," + time.toStdString() + "," + format_fixed6(mean) + "\n";
        std::fputs(line.c_str(), csv);
        ++result.processed;
    }
    const bool written = std::fflush(csv) == 0 && !std::ferror(csv);
    std::fclose(csv);

    for (const char *sub : {"0Aligned", "1PartRGB", "2Mascara"})
        for (const QString &path : list_jpeg_files(out.filePath(QString::fromLatin1(sub))))
            front.output_file(path);

    if (!written)
        front.warning(
            QStringLiteral("result.csv in %1 could not be written completely.").arg(out_dir));
    if (!result.skipped.empty())
        front.warning(skipped_report(result));
    return result;
}

} // namespace ardentis
