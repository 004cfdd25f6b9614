#pragma once
// The campaign plot: every processed pair's plant mean against its capture
// time, with the air temperature where it is known, growing as pairs finish.

#include <QtCharts/QChartView>

namespace QtCharts
{
class QDateTimeAxis;
class QScatterSeries;
class QValueAxis;
} // namespace QtCharts

namespace ardentis
{
struct PairOutcome;

class CampaignPlot : public QtCharts::QChartView
{
    Q_OBJECT

public:
    explicit CampaignPlot(QWidget *parent = nullptr);
    void clear();
    // A finished pair: a point when it was processed with a capture time.
    void add(const PairOutcome &outcome);

private:
    void extend(double when, double value);

    QtCharts::QScatterSeries *plant_, *air_;
    QtCharts::QDateTimeAxis *time_;
    QtCharts::QValueAxis *celsius_;
    double first_ = 0, last_ = 0, low_ = 0, high_ = 0;
};

} // namespace ardentis
