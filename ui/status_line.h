// The status line: a fixed-size, sunken one-line label. A text too long for
// it is cut after the last whole word that fits and ends in "…" (a device
// path is shortened first); the whole text is then its tooltip.
#pragma once

#include <QLabel>
#include <QString>

class QFontMetrics;

// text as it fits into nWidth pixels: unchanged when it fits, else cut at the
// last blank that leaves room for "…" (mid-word only when not even the first
// word fits).
QString ElideAtWord(const QString& text, const QFontMetrics& metrics, int nWidth);

// text as the status line shows it in nWidth pixels. A device path in it
// (" Связь установлена по /dev/serial/by-id/usb-…") gives way first: it is
// shortened to its last part, the adapter's stable name, and that name from
// the left, so that what tells adapters apart (the serial number near its
// end) stays in view; the rest is cut as by ElideAtWord.
QString FitStatusText(const QString& text, const QFontMetrics& metrics, int nWidth);

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
