#include "ui/record_spin.h"

#include <QToolButton>

namespace {
QToolButton* MakeArrow(QWidget* pParent, Qt::ArrowType arrow) {
    auto* pButton = new QToolButton(pParent);
    pButton->setArrowType(arrow);
    pButton->setAutoRepeat(true);
    pButton->setFocusPolicy(Qt::NoFocus);
    pButton->setIconSize(QSize(6, 6));
    return pButton;
}
} // namespace

RecordSpin::RecordSpin(QWidget* pParent)
    : QWidget(pParent), m_pUp(MakeArrow(this, Qt::UpArrow)),
      m_pDown(MakeArrow(this, Qt::DownArrow)) {
    // Like an up-down control without a buddy it never takes the focus: a
    // click leaves it where it was, so Enter keeps its meaning there.
    setFocusPolicy(Qt::NoFocus);
    connect(m_pUp, &QToolButton::clicked, this, [this] { Step(+1); });
    connect(m_pDown, &QToolButton::clicked, this, [this] { Step(-1); });
}

void RecordSpin::SetRange(int nLower, int nUpper) {
    m_nLower = nLower;
    m_nUpper = nUpper;
    SetPos(m_nPos);
}

void RecordSpin::SetPos(int nPos) {
    m_nPos = qBound(m_nLower, nPos, m_nUpper);
}

void RecordSpin::Step(int nDelta) {
    SetPos(m_nPos + nDelta);
    emit Scrolled();
}

void RecordSpin::resizeEvent(QResizeEvent* pEvent) {
    QWidget::resizeEvent(pEvent);
    const int nHalf = height() / 2;
    m_pUp->setGeometry(0, 0, width(), nHalf);
    m_pDown->setGeometry(0, nHalf, width(), height() - nHalf);
}
