// Shows one chart drawn by the same cairo code as the PDF report, or a line
// saying why there is none.
#pragma once

#include <QWidget>

#include <optional>

#include "exports/chart.h"

class ChartView : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
    ~ChartView() override;

    void SetChart(std::optional<exports::ChartSpec> chart, const QString& szWhyNone);
    const std::optional<exports::ChartSpec>& Chart() const { return m_chart; }
    const QString& WhyNone() const { return m_szWhyNone; }

    QSize sizeHint() const override { return {600, 260}; }

protected:
    void paintEvent(QPaintEvent* pEvent) override;

private:
    std::optional<exports::ChartSpec> m_chart;
    QString m_szWhyNone;
};
