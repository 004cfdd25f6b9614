#include "campaign/campaignplot.h"

#include "engine/run.h"
#include "trials/weatherlog.h"

#include <QDateTime>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QLegendMarker>
#include <QtCharts/QScatterSeries>
#include <QtCharts/QValueAxis>

#include <cmath>

using namespace QtCharts;

namespace ardentis
{

CampaignPlot::CampaignPlot(QWidget *parent)
    : QChartView(parent), plant_(new QScatterSeries), air_(new QScatterSeries),
      time_(new QDateTimeAxis), celsius_(new QValueAxis)
{
    setRenderHint(QPainter::Antialiasing);
    plant_->setName(tr("plant mean"));
    plant_->setMarkerSize(8);
    air_->setName(tr("air"));
    air_->setMarkerSize(6);
    air_->setMarkerShape(QScatterSeries::MarkerShapeRectangle);
    time_->setFormat(QStringLiteral("HH:mm:ss"));
    time_->setTitleText(tr("capture time"));
    celsius_->setTitleText(tr("°C"));
    QChart *c = chart();
    c->addSeries(plant_);
    c->addSeries(air_);
    c->addAxis(time_, Qt::AlignBottom);
    c->addAxis(celsius_, Qt::AlignLeft);
    for (QScatterSeries *s : {plant_, air_}) {
        s->attachAxis(time_);
        s->attachAxis(celsius_);
    }
    c->legend()->setAlignment(Qt::AlignBottom);
    clear();
}

void CampaignPlot::clear()
{
    plant_->clear();
    air_->clear();
    chart()->legend()->markers(air_).value(0)->setVisible(false); // shown with the first air
    first_ = last_ = 0;
    time_->setRange(QDateTime::currentDateTime().addSecs(-60), QDateTime::currentDateTime());
    celsius_->setRange(0, 40);
}

void CampaignPlot::extend(double when, double value)
{
    const bool first = plant_->count() + air_->count() == 0;
    first_ = first ? when : std::min(first_, when);
    last_ = first ? when : std::max(last_, when);
    low_ = first ? value : std::min(low_, value);
    high_ = first ? value : std::max(high_, value);
    const double pad = std::max(1.0, 0.05 * (high_ - low_));
    celsius_->setRange(std::floor(low_ - pad), std::ceil(high_ + pad));
    celsius_->applyNiceNumbers();
    const qint64 margin = std::max<qint64>(30000, qint64(0.05 * (last_ - first_)));
    time_->setFormat(last_ - first_ > 12 * 3600e3 ? QStringLiteral("yyyy-MM-dd HH:mm")
                                                  : QStringLiteral("HH:mm:ss"));
    time_->setRange(QDateTime::fromMSecsSinceEpoch(qint64(first_) - margin),
                    QDateTime::fromMSecsSinceEpoch(qint64(last_) + margin));
}

void CampaignPlot::add(const PairOutcome &o)
{
    const auto local = local_time(QString::fromUtf8(o.date_time));
    if (o.state != PairState::Processed || !local || std::isnan(o.record.plant.mean))
        return;
    const QDateTime at =
        QDateTime::fromString(local_time_text(*local), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    const double when = double(at.toMSecsSinceEpoch());
    extend(when, o.record.plant.mean);
    plant_->append(when, o.record.plant.mean);
    if (!std::isnan(o.trial.air)) {
        extend(when, o.trial.air);
        air_->append(when, o.trial.air);
        chart()->legend()->markers(air_).value(0)->setVisible(true);
    }
}

} // namespace ardentis
