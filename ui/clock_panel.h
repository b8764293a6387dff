// The clock surface of the main dialog: a sunken, edit-like box on which the
// time and date of the last tick are drawn. A tab stop that shows when it
// has the focus.
#pragma once

#include <QFrame>
#include <QString>

class ClockPanel : public QFrame {
    Q_OBJECT
public:
    explicit ClockPanel(QWidget* pParent = nullptr);

    // Stores the two lines and repaints. They stay until the next call.
    void SetLines(const QString& szTime, const QString& szDate);
    QString TimeLine() const { return m_szTime; }
    QString DateLine() const { return m_szDate; }

protected:
    void paintEvent(QPaintEvent* pEvent) override;
    void focusInEvent(QFocusEvent* pEvent) override;
    void focusOutEvent(QFocusEvent* pEvent) override;

private:
    QString m_szTime;
    QString m_szDate;
};
