// "История измерений", named apart from the instrument's own archive: every
// stored record in a sortable table, filtered by instrument, sample, cell and
// date range; a chart of the selected samples (tgD against temperature, or tgD
// over time); the selection exported in any results form. Records load on a
// thread of their own, in chunks, so the window answers at once and shows how
// far the loading has come.
#pragma once

#include <QDialog>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <thread>

#include "history/record_store.h"
#include "ui/history_charts.h"
#include "ui/save_choice.h"

class ChartView;
class HistoryModel;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QSortFilterProxyModel;
class QTableView;

class HistoryWindow : public QDialog {
    Q_OBJECT
public:
    HistoryWindow(std::string historyPath, QWidget* pParent = nullptr);
    ~HistoryWindow() override;

    // Replaceable for tests: the export's save dialog (none to cancel).
    std::function<std::optional<SaveChoice>()> m_fnChooseExport;

    // The filter as the fields give it now; false with the reason when a field is wrong.
    bool ReadFilter(history::Filter& filter, QString& szProblem) const;
    // Loads anew with the fields' filter.
    void Reload();
    bool IsLoading() const { return m_bLoading; }
    int ShownRows() const;
    // Writes the selected rows (all shown rows when none is selected).
    void ExportSelection();
    // Draws the chart chosen in the box for the samples of the selected rows
    // (or the sample filter's when no row is selected).
    void UpdateChart();

    QComboBox* m_pInstrument = nullptr; // "все приборы", then each instrument (its id as data)
    QLineEdit* m_pSample = nullptr;
    QLineEdit* m_pCell = nullptr;
    QLineEdit* m_pFrom = nullptr;
    QLineEdit* m_pTo = nullptr;
    QTableView* m_pTable = nullptr;
    QLabel* m_pState = nullptr;
    QLabel* m_pWhere = nullptr;        // which history: the file or the shared one
    QComboBox* m_pChartKind = nullptr; // 0: tgD against temperature, 1: tgD over time
    ChartView* m_pChart = nullptr;

private:
    QWidget* MakeChartPanel();
    // Fills the instrument box from the history (only "all" when it cannot be read).
    void LoadInstruments();
    std::set<SampleKey> SelectedSamples() const;
    std::optional<SampleKey> ChartedSample(const std::set<SampleKey>& selected) const;
    void StopLoader();
    void OnChunk(unsigned generation, std::vector<history::StoredRecord> chunk, bool bLast,
                 QString szError);

    std::string m_szPath;
    HistoryModel* m_pModel = nullptr;
    QSortFilterProxyModel* m_pProxy = nullptr;
    QProgressBar* m_pProgress = nullptr;
    std::thread m_loader;
    std::atomic<unsigned> m_generation{0};
    bool m_bLoading = false;
    long m_nTotal = 0;
    InstrumentLabels m_instruments;
    exports::ResultsForm m_exportForm = exports::ResultsForm::Workbook; // proposed next
};
