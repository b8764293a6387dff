// The records of the history window as a table model: filled in chunks by a
// loader thread (through queued calls), one row per stored record.
#pragma once

#include <QAbstractTableModel>

#include <vector>

#include "history/record_store.h"

class HistoryModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    void Clear();
    void Append(std::vector<history::StoredRecord> chunk);
    const history::StoredRecord& At(int row) const { return m_records[static_cast<size_t>(row)]; }
    const std::vector<history::StoredRecord>& Records() const { return m_records; }

private:
    std::vector<history::StoredRecord> m_records;
};
