#include "ui/clock_panel.h"

#include <QFontMetrics>
#include <QPainter>
#include <QStyleOptionFocusRect>

ClockPanel::ClockPanel(QWidget* pParent) : QFrame(pParent) {
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(2);
    setFocusPolicy(Qt::StrongFocus);
    setBackgroundRole(QPalette::Base);
    setAutoFillBackground(true);
}

void ClockPanel::SetLines(const QString& szTime, const QString& szDate) {
    m_szTime = szTime;
    m_szDate = szDate;
    update();
}

void ClockPanel::paintEvent(QPaintEvent* pEvent) {
    QFrame::paintEvent(pEvent);
    // Drawn from the stored text on every paint, so the panel never goes
    // blank when it is uncovered between ticks.
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::Text));
    const QRect client = contentsRect();
    const int nAscent = QFontMetrics(font()).ascent();
    painter.drawText(client.left() + 4, client.top() + 0 + nAscent, m_szTime);
    painter.drawText(client.left() + 1, client.top() + 15 + nAscent, m_szDate);
    // A tab stop like the edit it stands for: with the focus on it, the
    // style's focus frame shows where the focus is (an empty edit would
    // show its caret).
    if (hasFocus()) {
        QStyleOptionFocusRect option;
        option.initFrom(this);
        option.rect = client.adjusted(1, 1, -1, -1);
        option.backgroundColor = palette().color(QPalette::Base);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
    }
}

void ClockPanel::focusInEvent(QFocusEvent* pEvent) {
    QFrame::focusInEvent(pEvent);
    update();
}

void ClockPanel::focusOutEvent(QFocusEvent* pEvent) {
    QFrame::focusOutEvent(pEvent);
    update();
}
