// A stand-alone pair of up and down arrows with a bounded position. It writes
// no text anywhere and never takes the focus: a step by the user only raises
// Scrolled, and the owner reads Pos, as with an up-down control that has no
// buddy window.
#pragma once

#include <QWidget>

class QToolButton;

class RecordSpin : public QWidget {
    Q_OBJECT
public:
    explicit RecordSpin(QWidget* pParent = nullptr);

    void SetRange(int nLower, int nUpper);
    // Sets the position, kept inside the range; raises nothing.
    void SetPos(int nPos);
    int Pos() const { return m_nPos; }

    // One step as the user makes it: moves within the range (no wrap) and
    // raises Scrolled.
    void Step(int nDelta);

signals:
    void Scrolled();

protected:
    void resizeEvent(QResizeEvent* pEvent) override;

private:
    QToolButton* m_pUp;
    QToolButton* m_pDown;
    int m_nLower = 0;
    int m_nUpper = 100;
    int m_nPos = 0;
};
