#include "ui/dialog_units.h"

#include <QFontMetrics>

namespace {
// units * base / divisor, rounded to the nearest pixel.
int Scale(int nUnits, int nBase, int nDivisor) {
    return (nUnits * nBase + nDivisor / 2) / nDivisor;
}
} // namespace

DialogUnits::DialogUnits(const QFont& font) {
    const QFontMetrics fm(font);
    // The average width of the Latin letters, as dialog managers measure it.
    static const QString szAlphabet =
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    m_nBaseX = (fm.horizontalAdvance(szAlphabet) + 26) / 52;
    if (m_nBaseX < 1)
        m_nBaseX = 1;
    m_nBaseY = fm.height() > 0 ? fm.height() : 1;
}

int DialogUnits::X(int nUnits) const {
    return Scale(nUnits, m_nBaseX, 4);
}
int DialogUnits::Y(int nUnits) const {
    return Scale(nUnits, m_nBaseY, 8);
}

QRect DialogUnits::Rect(int x, int y, int cx, int cy) const {
    // Edges are scaled, not sizes, so neighbouring controls meet as designed.
    const int nLeft = X(x), nTop = Y(y);
    return QRect(nLeft, nTop, X(x + cx) - nLeft, Y(y + cy) - nTop);
}

QSize DialogUnits::Size(int cx, int cy) const {
    return QSize(X(cx), Y(cy));
}
