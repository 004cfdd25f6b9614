#pragma once
// One long-running ExifTool answering query after query ("-stay_open True
// -@ -"): the same arguments and the same answers as a fresh start of the tool
// per query, without paying its start-up each time.

#include "measurement/exiftool.h"

namespace ardentis
{

class StayOpenExifTool : public ExifTool
{
public:
    // Each answer must be complete within `timeout_ms` (-1: no limit); a tool
    // that misses it, dies or answers too much is stopped and started afresh
    // for the next query.
    explicit StayOpenExifTool(QString program = exiftool_program(), int timeout_ms = -1);
    ~StayOpenExifTool() override;
    StayOpenExifTool(const StayOpenExifTool &) = delete;
    StayOpenExifTool &operator=(const StayOpenExifTool &) = delete;

    ToolAnswer output(const QStringList &arguments) override;
    QString output_to_file(const QStringList &arguments, const QString &path) override;

private:
    bool running();
    void stop();
    ToolAnswer read_answer(const QByteArray &marker);

    QString program_;
    int timeout_ms_;
    ChildProcess process_;
    ProcessExifTool fallback_;
    quint64 next_id_ = 1;
    bool start_failed_ = false;
};

} // namespace ardentis
