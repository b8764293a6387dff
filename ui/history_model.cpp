#include "ui/history_model.h"

#include "history/record_fields.h"

namespace {

enum Column { When, Sample, Cell, Temperature, Voltage, Frequency, Kind, ExOrCo, TgD, Columns };

} // namespace

int HistoryModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_records.size());
}

int HistoryModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : Columns;
}

QVariant HistoryModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const char* const titles[Columns] = {
        "Дата и время", "Проба", "Nя", "Темп.,С", "U,В", "F,Гц", "Вид", "Ex, Co,пФ", "tgD"};
    return QString::fromUtf8(titles[section]);
}

QVariant HistoryModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const history::StoredRecord& stored = m_records[static_cast<size_t>(index.row())];
    const ArchiveRecord& r = stored.record;
    // EditRole gives the values the sort compares: numbers, minutes.
    const bool sortKey = role == Qt::EditRole;
    if (role != Qt::DisplayRole && !sortKey) {
        if (role == Qt::TextAlignmentRole && index.column() != When && index.column() != Kind)
            return int(Qt::AlignRight | Qt::AlignVCenter);
        return {};
    }
    switch (index.column()) {
    case When:
        if (sortKey)
            return qlonglong(stored.measured.value_or(-1));
        return stored.measured ? QString::fromStdString(history::formatMinutes(*stored.measured))
                               : QStringLiteral("—");
    case Sample:
        return int(r.sampleNumber());
    case Cell:
        return int(r.cellNumber());
    case Temperature:
        if (r.temperature() < -49)
            return sortKey ? QVariant(-1000) : QVariant(QStringLiteral("—"));
        return int(r.temperature());
    case Voltage:
        return sortKey ? QVariant(double(r.voltage()))
                       : QVariant(QString::number(r.voltage(), 'f', 1));
    case Frequency:
        return sortKey ? QVariant(double(r.frequency()))
                       : QVariant(QString::number(r.frequency(), 'f', 1));
    case Kind:
        return r.kind() == RecordKindEmptyCell ? QStringLiteral("пустая ячейка")
                                               : QStringLiteral("проба");
    case ExOrCo:
        return sortKey ? QVariant(double(r.exOrCo()))
                       : QVariant(QString::number(r.exOrCo(), 'f', 4));
    case TgD:
        return sortKey ? QVariant(double(r.tgD())) : QVariant(QString::number(r.tgD(), 'f', 5));
    default:
        return {};
    }
}

void HistoryModel::Clear() {
    beginResetModel();
    m_records.clear();
    endResetModel();
}

void HistoryModel::Append(std::vector<history::StoredRecord> chunk) {
    if (chunk.empty())
        return;
    const int first = rowCount();
    beginInsertRows({}, first, first + static_cast<int>(chunk.size()) - 1);
    m_records.insert(m_records.end(), std::make_move_iterator(chunk.begin()),
                     std::make_move_iterator(chunk.end()));
    endInsertRows();
}
