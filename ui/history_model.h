// The records of the history window as a table model: filled in chunks by a
// loader thread (through queued calls), one row per stored record.
#pragma once

#include <QAbstractTableModel>
#include <QSortFilterProxyModel>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "archive/results_writer.h"
#include "history/record_store.h"

class HistoryModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // The value a column sorts by: a number, the time in minutes (-1 when
    // undated); NaN for a value the instrument gave as no number.
    double SortKey(int row, int column) const;

    // The column naming each record's instrument, and the names it shows (by id).
    static int InstrumentColumn();
    void SetInstruments(std::map<std::int64_t, std::string> labels);

    void Clear();
    void Append(std::vector<history::StoredRecord> chunk);
    const history::StoredRecord& At(int row) const { return m_records[static_cast<size_t>(row)]; }
    const std::vector<history::StoredRecord>& Records() const { return m_records; }

private:
    // value with decimals places and the user's decimal separator, as the
    // results files and the PDF report write it.
    QString Number(double value, int decimals) const;

    std::vector<history::StoredRecord> m_records;
    std::map<std::int64_t, std::string> m_instruments;
    char m_cSeparator = decimalSeparator();
};

// Sorts the history's rows by their numbers straight from the model. The
// sort column's keys are copied into one array first: a million rows then
// sort without a walk over all the records for every comparison.
class HistorySortModel : public QSortFilterProxyModel {
    Q_OBJECT
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

    void setSourceModel(QAbstractItemModel* pSource) override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

protected:
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

private:
    void KeepKeys(int first, int last);

    int m_keyColumn = -1;
    std::vector<double> m_keys; // of the source rows, in the sort column
};
