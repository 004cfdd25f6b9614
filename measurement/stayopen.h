#pragma once
// One long-running ExifTool answering query after query ("-stay_open True
// -@ -"): the same arguments and the same answers as a fresh start of the tool
// per query, without paying its start-up each time.

#include "exiftool.h"

#include <QProcess>

namespace ardentis
{

class StayOpenExifTool : public ExifTool
{
public:
    explicit StayOpenExifTool(QString program = exiftool_program());
    ~StayOpenExifTool() override;
    StayOpenExifTool(const StayOpenExifTool &) = delete;
    StayOpenExifTool &operator=(const StayOpenExifTool &) = delete;

    QByteArray output(const QStringList &arguments) override;
    void output_to_file(const QStringList &arguments, const QString &path) override;

    // Whether `argument` survives the trip through the tool's argument
    // stream unchanged; others are asked with a fresh start of the tool.
    static bool streamable(const QString &argument);

private:
    bool running();

    QString program_;
    QProcess process_;
    ProcessExifTool fallback_;
    quint64 next_id_ = 1;
    bool start_failed_ = false;
};

} // namespace ardentis
