// The status line: a fixed-size, sunken one-line label. A text too long for
// it is cut after the last whole word that fits and ends in "…"; the whole
// text is then its tooltip.
#pragma once

#include <QLabel>
#include <QString>

class QFontMetrics;

// text as it fits into nWidth pixels: unchanged when it fits, else cut at the
// last blank that leaves room for "…" (mid-word only when not even the first
// word fits).
QString ElideAtWord(const QString& text, const QFontMetrics& metrics, int nWidth);

class StatusLine : public QLabel {
    Q_OBJECT
public:
    explicit StatusLine(QWidget* pParent = nullptr);

    // Shows text, shortened to fit when needed. Hides QLabel::setText so that
    // every text set on the status line goes through here.
    void setText(const QString& text);
    // The whole text last set, whether or not it is shown whole.
    const QString& FullText() const { return m_szFull; }

protected:
    void resizeEvent(QResizeEvent* pEvent) override;
    void changeEvent(QEvent* pEvent) override;

private:
    void Refit();

    QString m_szFull;
};
