#pragma once
// Small helpers shared by the tests.

#include "fixtures/flirfixture.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

// The whole content of a file, empty when it cannot be read.
inline QByteArray read_file(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline void write_file(const QString &path, const QByteArray &bytes,
                       QFile::Permissions permissions = {})
{
    QFile f(path);
    QVERIFY2(f.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(path));
    f.write(bytes);
    f.close();
    if (permissions)
        f.setPermissions(permissions);
}

// The temperature of one raw count, written out from the calibration formula
// independently of the code under test.
inline double expected_temperature(double raw, const fixtures::FlirFile &f, double e, double tr)
{
    const double r1 = f.r1, r2 = f.r2, b = f.b, o = f.o, ff = f.f;
    const double refl = r1 / (r2 * (std::exp(b / (tr + 273.15)) - ff)) - o;
    const double obj = (raw - (1 - e) * refl) / e;
    return b / std::log(r1 / (r2 * (obj + o)) + ff) - 273.15;
}

// The file's own emissivity and reflected temperature as ExifTool reports them.
inline double own_temperature(double raw, const fixtures::FlirFile &f)
{
    return expected_temperature(raw, f, double(f.emissivity), fixtures::reported_t_refl(f));
}

// Every non-hidden file below `dir` with a digest of its content.
inline QMap<QString, QByteArray> tree(const QString &dir)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(dir, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files[QDir(dir).relativeFilePath(path)] =
            QCryptographicHash::hash(read_file(path), QCryptographicHash::Sha256);
    }
    return files;
}

// Puts an "exiftool" written as the shell script `body` first on PATH while
// it lives; `body` may call the real tool as "$REAL".
class FakeExifTool
{
public:
    explicit FakeExifTool(const QByteArray &body) : old_path_(qgetenv("PATH"))
    {
        const QByteArray real = QStandardPaths::findExecutable("exiftool").toUtf8();
        write_file(dir_.filePath("exiftool"), "#!/bin/sh\nREAL='" + real + "'\n" + body + "\n",
                   QFile::ExeOwner | QFile::ReadOwner);
        qputenv("PATH", dir_.path().toUtf8() + ":" + old_path_);
    }
    ~FakeExifTool() { qputenv("PATH", old_path_); }
    QString path(const char *name) const { return dir_.filePath(name); }

private:
    QTemporaryDir dir_;
    QByteArray old_path_;
};

struct Finished {
    int status = -1;
    QString out, err;
};

// Runs a program to its end.
inline Finished run_program(const QString &program, const QStringList &arguments)
{
    QProcess p;
    p.start(program, arguments);
    p.waitForFinished(-1);
    return {p.exitCode(), QString::fromLocal8Bit(p.readAllStandardOutput()),
            QString::fromLocal8Bit(p.readAllStandardError())};
}

inline fixtures::FlirFile write_pair(const QString &dir, int n, unsigned seed,
                                     cv::Size raw = {29, 20}, int photo_width = 1467)
{
    return fixtures::write_field_pair(dir.toStdString(), n, seed, raw, photo_width);
}

// The mean plant temperature of a pair written by write_pair with the raw
// size 29 × 20: its first 15 columns are plant.
inline double plant_mean(const fixtures::FlirFile &f, double e, double tr)
{
    double sum = 0;
    int n = 0;
    for (int r = 0; r < f.counts.rows; ++r)
        for (int c = 0; c < 15; ++c, ++n)
            sum += expected_temperature(f.counts.at<std::uint16_t>(r, c), f, e, tr);
    return sum / n;
}
