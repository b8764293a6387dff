// The clock surface of the main dialog: a sunken, edit-like box on which the
// time and date of the last tick are drawn.
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

private:
    QString m_szTime;
    QString m_szDate;
};
