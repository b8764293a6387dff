#include "ui/history_model.h"

#include <cmath>

#include "history/record_fields.h"

namespace {

enum Column {
    When,
    Sample,
    Cell,
    Temperature,
    Voltage,
    Frequency,
    Kind,
    ExOrCo,
    TgD,
    Instrument,
    Columns
};

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
    static const char* const titles[Columns] = {"Дата и время", "Проба", "Nя",  "Темп.,С",
                                                "U,В",          "F,Гц",  "Вид", "Ex, Co,пФ",
                                                "tgD",          "Прибор"};
    return QString::fromUtf8(titles[section]);
}

double HistoryModel::SortKey(int row, int column) const {
    const history::StoredRecord& stored = m_records[static_cast<size_t>(row)];
    const ArchiveRecord& r = stored.record;
    switch (column) {
    case When:
        return double(stored.measured.value_or(-1));
    case Sample:
        return r.sampleNumber();
    case Cell:
        return r.cellNumber();
    case Temperature:
        return r.temperature() < -49 ? -1000 : r.temperature();
    case Voltage:
        return r.voltage();
    case Frequency:
        return r.frequency();
    case Kind:
        return r.kind();
    case ExOrCo:
        return r.exOrCo();
    case TgD:
        return r.tgD();
    case Instrument:
        return double(stored.instrument);
    default:
        return 0;
    }
}

QString HistoryModel::Number(double value, int decimals) const {
    QString szText = QString::number(value, 'f', decimals);
    if (m_cSeparator != '.')
        szText.replace(QLatin1Char('.'), QLatin1Char(m_cSeparator));
    return szText;
}

QVariant HistoryModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    if (role == Qt::EditRole)
        return SortKey(index.row(), index.column());
    if (role == Qt::TextAlignmentRole && index.column() != When && index.column() != Kind &&
        index.column() != Instrument)
        return int(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole)
        return {};
    const history::StoredRecord& stored = m_records[static_cast<size_t>(index.row())];
    const ArchiveRecord& r = stored.record;
    switch (index.column()) {
    case When:
        return stored.measured ? QString::fromStdString(history::formatMinutes(*stored.measured))
                               : QStringLiteral("—");
    case Sample:
        return int(r.sampleNumber());
    case Cell:
        return int(r.cellNumber());
    case Temperature:
        return r.temperature() < -49 ? QVariant(QStringLiteral("—"))
                                     : QVariant(int(r.temperature()));
    case Voltage:
        return Number(r.voltage(), 1);
    case Frequency:
        return Number(r.frequency(), 1);
    case Kind:
        return r.kind() == RecordKindEmptyCell ? QStringLiteral("пустая ячейка")
                                               : QStringLiteral("проба");
    case ExOrCo:
        return Number(r.exOrCo(), 4);
    case TgD:
        return Number(r.tgD(), 5);
    case Instrument: {
        const auto known = m_instruments.find(stored.instrument);
        return known != m_instruments.end() ? QString::fromStdString(known->second)
                                            : QString::number(stored.instrument);
    }
    default:
        return {};
    }
}

int HistoryModel::InstrumentColumn() {
    return Instrument;
}

void HistoryModel::SetInstruments(std::map<std::int64_t, std::string> labels) {
    m_instruments = std::move(labels);
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

void HistorySortModel::setSourceModel(QAbstractItemModel* pSource) {
    QSortFilterProxyModel::setSourceModel(pSource);
    connect(pSource, &QAbstractItemModel::modelAboutToBeReset, this, [this] { m_keys.clear(); });
    connect(pSource, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex&, int first, int last) { KeepKeys(first, last); });
}

void HistorySortModel::sort(int column, Qt::SortOrder order) {
    m_keyColumn = column;
    m_keys.clear();
    KeepKeys(0, sourceModel()->rowCount() - 1);
    QSortFilterProxyModel::sort(column, order);
}

void HistorySortModel::KeepKeys(int first, int last) {
    if (m_keyColumn < 0)
        return;
    if (static_cast<size_t>(first) != m_keys.size()) { // rows not added at the end
        m_keys.clear();
        return;
    }
    const auto* pModel = static_cast<const HistoryModel*>(sourceModel());
    for (int row = first; row <= last; ++row)
        m_keys.push_back(pModel->SortKey(row, m_keyColumn));
}

bool HistorySortModel::lessThan(const QModelIndex& left, const QModelIndex& right) const {
    auto key = [this](const QModelIndex& index) {
        if (index.column() == m_keyColumn && static_cast<size_t>(index.row()) < m_keys.size())
            return m_keys[static_cast<size_t>(index.row())];
        return static_cast<const HistoryModel*>(sourceModel())
            ->SortKey(index.row(), index.column());
    };
    const double a = key(left);
    const double b = key(right);
    // No-number values sort first; a plain < would break the sort's order.
    if (std::isnan(a) || std::isnan(b))
        return std::isnan(a) && !std::isnan(b);
    return a < b;
}
