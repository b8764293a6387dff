#include "ui/status_line.h"

#include <QEvent>
#include <QFontMetrics>

namespace {
const QString ELLIPSIS = QStringLiteral("…");

bool IsBlank(QChar c) {
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}
} // namespace

QString ElideAtWord(const QString& text, const QFontMetrics& metrics, int nWidth) {
    if (metrics.horizontalAdvance(text) <= nWidth)
        return text;
    // Blanks from the end; leading blanks (the link's texts start with one)
    // are not a word break.
    int nFirstWord = 0;
    while (nFirstWord < text.size() && IsBlank(text[nFirstWord]))
        ++nFirstWord;
    for (int i = text.size() - 1; i > nFirstWord; --i) {
        if (!IsBlank(text[i]) || IsBlank(text[i - 1]))
            continue;
        const QString szCut = text.left(i) + ELLIPSIS;
        if (metrics.horizontalAdvance(szCut) <= nWidth)
            return szCut;
    }
    return metrics.elidedText(text, Qt::ElideRight, nWidth);
}

QString FitStatusText(const QString& text, const QFontMetrics& metrics, int nWidth) {
    if (metrics.horizontalAdvance(text) <= nWidth)
        return text;
    const qsizetype nPath = text.indexOf(QStringLiteral(" /"));
    if (nPath < 0)
        return ElideAtWord(text, metrics, nWidth);
    const qsizetype nStart = nPath + 1;
    qsizetype nEnd = nStart;
    while (nEnd < text.size() && !IsBlank(text[nEnd]))
        ++nEnd;
    const QString szHead = text.left(nStart);
    const QString szPath = text.mid(nStart, nEnd - nStart);
    const QString szName = szPath.mid(szPath.lastIndexOf(QLatin1Char('/')) + 1);
    const QString szTail = text.mid(nEnd);
    // The name whole, the rest cut at a word after it where needed.
    if (metrics.horizontalAdvance(szHead + szName + ELLIPSIS) <= nWidth || szName.isEmpty())
        return ElideAtWord(szHead + szName + szTail, metrics, nWidth);
    // Not even that: the name's right end, as much of it as fits.
    for (qsizetype nKeep = szName.size() - 1; nKeep > 0; --nKeep) {
        const QString szShort = szHead + ELLIPSIS + szName.right(nKeep);
        if (metrics.horizontalAdvance(szShort) <= nWidth)
            return szShort;
    }
    return ElideAtWord(text, metrics, nWidth);
}

StatusLine::StatusLine(QWidget* pParent) : QLabel(pParent) {
    setTextFormat(Qt::PlainText);
    setWordWrap(false);
}

void StatusLine::setText(const QString& text) {
    m_szFull = text;
    Refit();
}

void StatusLine::Refit() {
    // The room QLabel leaves for text: inside the frame, less the margins and
    // the indent it adds beside a frame.
    const int nIndent = indent() >= 0
                            ? indent()
                            : (frameWidth() > 0 ? fontMetrics().horizontalAdvance('x') / 2 : 0);
    const int nWidth = contentsRect().width() - 2 * margin() - nIndent;
    const QString szShown = FitStatusText(m_szFull, fontMetrics(), nWidth);
    QLabel::setText(szShown);
    setToolTip(szShown == m_szFull ? QString() : m_szFull);
}

void StatusLine::resizeEvent(QResizeEvent* pEvent) {
    QLabel::resizeEvent(pEvent);
    Refit();
}

void StatusLine::changeEvent(QEvent* pEvent) {
    QLabel::changeEvent(pEvent);
    if (pEvent->type() == QEvent::FontChange || pEvent->type() == QEvent::StyleChange)
        Refit();
}
