// Times the history window on a given history file, as a user meets it:
// the first rows after opening, the whole load, and the filters (from the
// moment the typing has settled to the last matching row on screen), a sort
// and the chart of a selection of every row.
// Usage: history_window_bench HISTORY SAMPLE; run with QT_QPA_PLATFORM=offscreen.
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTableView>

#include <cstdio>
#include <cstdlib>
#include <functional>

#include "ui/chart_view.h"
#include "ui/history_window.h"

namespace {

// Milliseconds until done() holds, the events running meanwhile.
double WaitFor(const std::function<bool()>& done) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (timer.elapsed() > 600000)
            return -1;
    }
    return double(timer.nsecsElapsed()) / 1e6;
}

// Fills the fields, then times the reload that follows: to the first rows
// shown and to the end of the load.
void TimeFilter(HistoryWindow& window, const char* szWhat, const QString& szSample,
                const QString& szFrom, const QString& szTo) {
    window.m_pSample->setText(szSample);
    window.m_pFrom->setText(szFrom);
    window.m_pTo->setText(szTo);
    QElapsedTimer timer;
    timer.start();
    window.Reload();
    const double first = WaitFor([&] { return window.ShownRows() > 0 || !window.IsLoading(); });
    WaitFor([&] { return !window.IsLoading(); });
    window.m_pTable->viewport()->repaint();
    std::printf("filter %-28s %7d rows: first rows %6.0f ms, all %6.0f ms\n", szWhat,
                window.ShownRows(), first, double(timer.nsecsElapsed()) / 1e6);
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fputs("usage: history_window_bench HISTORY SAMPLE\n", stderr);
        return 2;
    }
    const QString szSample = QString::fromLocal8Bit(argv[2]);
    QElapsedTimer timer;
    timer.start();
    HistoryWindow window(argv[1]);
    window.show();
    const double first = WaitFor([&] { return window.ShownRows() > 0 || !window.IsLoading(); });
    window.m_pTable->viewport()->repaint();
    const double painted = double(timer.nsecsElapsed()) / 1e6;
    WaitFor([&] { return !window.IsLoading(); });
    std::printf("open: first rows %.0f ms (painted at %.0f ms), all %d rows %.0f ms\n", first,
                painted, window.ShownRows(), double(timer.nsecsElapsed()) / 1e6);
    TimeFilter(window, "sample", szSample, {}, {});
    TimeFilter(window, "sample and a year", szSample, "2022-01-01", "2022-12-31");
    TimeFilter(window, "one month", {}, "2022-03-01", "2022-03-31");
    TimeFilter(window, "none (all records)", {}, {}, {});
    timer.restart();
    window.m_pTable->sortByColumn(8, Qt::DescendingOrder); // tgD
    window.m_pTable->viewport()->repaint();
    std::printf("sort %d rows by tgD: %.0f ms\n", window.ShownRows(),
                double(timer.nsecsElapsed()) / 1e6);
    window.m_pTable->selectAll();
    timer.restart();
    window.UpdateChart();
    window.m_pChart->repaint();
    std::printf("chart of all %d rows selected: %.0f ms\n", window.ShownRows(),
                double(timer.nsecsElapsed()) / 1e6);
    return 0;
}
