#pragma once
// Small helpers shared by the tests.

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cmath>

// The whole content of a file, empty when it cannot be read.
inline QByteArray read_file(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The temperature of one raw count, written out from the calibration formula
// independently of the code under test.
inline double expected_temperature(double raw, double r1, double r2, double b, double o, double f,
                                   double e, double tr)
{
    const double refl = r1 / (r2 * (std::exp(b / (tr + 273.15)) - f)) - o;
    const double obj = (raw - (1 - e) * refl) / e;
    return b / std::log(r1 / (r2 * (obj + o)) + f) - 273.15;
}
