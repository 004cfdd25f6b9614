#pragma once
// Small file helpers shared by the tests.

#include <QByteArray>
#include <QFile>
#include <QString>

// The whole content of a file, empty when it cannot be read.
inline QByteArray read_file(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
