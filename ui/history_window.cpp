#include "ui/history_window.h"

#include <QComboBox>
#include <QFile>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMetaObject>
#include <QProgressBar>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include <ctime>
#include <filesystem>

#include "archive/results_writer.h"
#include "dialog/dialog_texts.h"
#include "dialog/results_saving.h"
#include "exports/results_forms.h"
#include "history/history_export.h"
#include "history/history_location.h"
#include "history/record_fields.h"
#include "history/server_location.h"
#include "ui/chart_view.h"
#include "ui/history_charts.h"
#include "ui/history_filter.h"
#include "ui/history_model.h"
#include "ui/save_name.h"

namespace {

constexpr size_t CHUNK = 5000;
constexpr int FILTER_DELAY_MS = 200;
constexpr int CHART_DELAY_MS = 100;

QLineEdit* Field(QWidget* pParent, const QString& szHint, int nWidth) {
    auto* pEdit = new QLineEdit(pParent);
    pEdit->setPlaceholderText(szHint);
    pEdit->setClearButtonEnabled(true);
    pEdit->setMaximumWidth(nWidth);
    return pEdit;
}

} // namespace

HistoryWindow::HistoryWindow(std::string historyPath, QWidget* pParent)
    : QDialog(pParent), m_szPath(std::move(historyPath)) {
    setWindowTitle(QStringLiteral("История измерений"));
    resize(900, 720);
    m_pSample = Field(this, QStringLiteral("все"), 80);
    m_pCell = Field(this, QStringLiteral("все"), 60);
    m_pFrom = Field(this, QStringLiteral("ГГГГ-ММ-ДД"), 110);
    m_pTo = Field(this, QStringLiteral("ГГГГ-ММ-ДД"), 110);
    auto* pExport = new QPushButton(QStringLiteral("Экспорт…"), this);
    m_pInstrument = new QComboBox(this);
    auto* pFilters = new QHBoxLayout;
    pFilters->addWidget(new QLabel(QStringLiteral("Прибор"), this));
    pFilters->addWidget(m_pInstrument);
    for (auto [szLabel, pEdit] : {std::pair{"Проба", m_pSample}, std::pair{"Ячейка", m_pCell},
                                  std::pair{"с", m_pFrom}, std::pair{"по", m_pTo}}) {
        pFilters->addWidget(new QLabel(QString::fromUtf8(szLabel), this));
        pFilters->addWidget(pEdit);
    }
    pFilters->addStretch();
    pFilters->addWidget(pExport);
    // Which history this is: this PC's file or the lab's shared one.
    m_pWhere = new QLabel(this);
    m_pWhere->setTextInteractionFlags(Qt::TextSelectableByMouse);

    m_pModel = new HistoryModel(this);
    m_pProxy = new HistorySortModel(this);
    m_pProxy->setSourceModel(m_pModel);
    m_pTable = new QTableView(this);
    m_pTable->setModel(m_pProxy);
    m_pTable->setSortingEnabled(true);
    m_pTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pTable->verticalHeader()->setVisible(false);
    m_pTable->horizontalHeader()->setStretchLastSection(true);
    m_pState = new QLabel(this);
    LoadInstruments();
    m_pProgress = new QProgressBar(this);
    m_pProgress->setMaximumWidth(200);
    auto* pBottom = new QHBoxLayout;
    pBottom->addWidget(m_pState, 1);
    pBottom->addWidget(m_pProgress);

    auto* pSplitter = new QSplitter(Qt::Vertical, this);
    pSplitter->addWidget(m_pTable);
    pSplitter->addWidget(MakeChartPanel());
    pSplitter->setStretchFactor(0, 3);
    pSplitter->setStretchFactor(1, 2);
    auto* pLayout = new QVBoxLayout(this);
    pLayout->addWidget(m_pWhere);
    pLayout->addLayout(pFilters);
    pLayout->addWidget(pSplitter, 1);
    pLayout->addLayout(pBottom);

    // A drag over many rows settles before the chart is drawn again.
    auto* pChartDelay = new QTimer(this);
    pChartDelay->setSingleShot(true);
    pChartDelay->setInterval(CHART_DELAY_MS);
    connect(pChartDelay, &QTimer::timeout, this, [this] { UpdateChart(); });
    connect(m_pTable->selectionModel(), &QItemSelectionModel::selectionChanged, pChartDelay,
            qOverload<>(&QTimer::start));
    connect(m_pChartKind, &QComboBox::currentIndexChanged, this, [this] { UpdateChart(); });

    // Typing settles for a moment before the records load again.
    auto* pDelay = new QTimer(this);
    pDelay->setSingleShot(true);
    pDelay->setInterval(FILTER_DELAY_MS);
    connect(pDelay, &QTimer::timeout, this, [this] { Reload(); });
    for (QLineEdit* pEdit : {m_pSample, m_pCell, m_pFrom, m_pTo})
        connect(pEdit, &QLineEdit::textChanged, pDelay, qOverload<>(&QTimer::start));
    connect(m_pInstrument, &QComboBox::currentIndexChanged, pDelay, qOverload<>(&QTimer::start));
    connect(pExport, &QPushButton::clicked, this, [this] { ExportSelection(); });
    m_fnChooseExport = [this]() -> std::optional<SaveChoice> {
        // The dialog comes again after a "no" to replacing a file.
        std::optional<SaveChoice> choice;
        const QString szPath = PickSavePath(
            QStringLiteral("history.") +
                QString::fromLatin1(exports::FormSuffix(m_exportForm).data(),
                                    qsizetype(exports::FormSuffix(m_exportForm).size())),
            [this, &choice](const QString& szStart) {
                choice = RunExportSaveDialog(this, szStart, choice ? choice->form : m_exportForm);
                return choice ? choice->path : QString();
            },
            [this](const QString& szFile) { return ConfirmReplace(this, szFile); });
        if (szPath.isEmpty())
            return std::nullopt;
        return choice;
    };
    Reload();
}

HistoryWindow::~HistoryWindow() {
    StopLoader();
}

void HistoryWindow::StopLoader() {
    ++m_generation; // a running loader stops at its next record
    if (m_loader.joinable())
        m_loader.join();
}

void HistoryWindow::LoadInstruments() {
    m_pInstrument->clear();
    m_pInstrument->addItem(QStringLiteral("все приборы"));
    m_instruments.clear();
    m_pWhere->setText(QStringLiteral("История: %1")
                          .arg(QString::fromStdString(history::shownLocation(m_szPath))));
    std::error_code ec;
    if (!history::isServerHistory(m_szPath) && !std::filesystem::exists(m_szPath, ec))
        return;
    try {
        auto store = history::openHistory(m_szPath, history::OpenMode::ReadOnly);
        m_pWhere->setText(
            QStringLiteral("История: %1").arg(QString::fromStdString(store->describe())));
        for (const history::InstrumentInfo& instrument : store->instruments()) {
            m_instruments[instrument.id] = history::InstrumentLabel(instrument);
            m_pInstrument->addItem(QString::fromStdString(m_instruments[instrument.id]),
                                   QVariant::fromValue<qlonglong>(instrument.id));
        }
    } catch (const history::Error&) {
        // The loader says why the history cannot be read.
    }
    m_pModel->SetInstruments(m_instruments);
    // Where a sample number could mean two samples, each row names its instrument.
    m_pTable->setColumnHidden(HistoryModel::InstrumentColumn(), m_instruments.size() < 2);
}

bool HistoryWindow::ReadFilter(history::Filter& filter, QString& szProblem) const {
    const auto parsed = ParseHistoryFilter(
        {m_pSample->text(), m_pCell->text(), m_pFrom->text(), m_pTo->text()}, szProblem);
    if (!parsed)
        return false;
    filter = *parsed;
    if (const QVariant id = m_pInstrument->currentData(); id.isValid())
        filter.instrument = id.toLongLong();
    return true;
}

void HistoryWindow::Reload() {
    history::Filter filter;
    QString szProblem;
    if (!ReadFilter(filter, szProblem)) {
        // The rows of the last good filter stay; what is wrong is said where
        // the count and the chart would be.
        m_pState->setText(szProblem);
        m_pState->setToolTip(QString());
        UpdateChart();
        return;
    }
    StopLoader();
    m_pModel->Clear();
    m_bLoading = true;
    m_nTotal = 0;
    m_pProgress->setRange(0, 0); // busy until the count is known
    m_pState->setText(QStringLiteral("Загрузка…"));
    const unsigned generation = m_generation.load();
    m_loader = std::thread([this, filter, generation, path = m_szPath] {
        std::vector<history::StoredRecord> chunk;
        QString szError;
        auto send = [&](bool bLast) {
            QMetaObject::invokeMethod(
                this,
                [this, generation, c = std::move(chunk), bLast, szError]() mutable {
                    OnChunk(generation, std::move(c), bLast, szError);
                },
                Qt::QueuedConnection);
            chunk.clear();
        };
        try {
            std::error_code ec;
            if (!history::isServerHistory(path) && !std::filesystem::exists(path, ec)) {
                szError = QStringLiteral("История пока пуста: ни одно чтение ещё не сохранено.\n"
                                         "Файл истории появится после первого чтения: %1")
                              .arg(QString::fromStdString(path));
                return send(true);
            }
            auto store = history::openHistory(path, history::OpenMode::ReadOnly);
            store->forEachRecord(filter, [&](const history::StoredRecord& stored) {
                if (m_generation.load() != generation)
                    return false;
                chunk.push_back(stored);
                if (chunk.size() == CHUNK)
                    send(false);
                return true;
            });
        } catch (const history::Error& e) {
            szError = QStringLiteral("История не читается: %1.\n%2")
                          .arg(QString::fromStdString(HistoryReasonText(e.kind())),
                               QString::fromStdString(e.what()));
        }
        send(true);
    });
}

void HistoryWindow::OnChunk(unsigned generation, std::vector<history::StoredRecord> chunk,
                            bool bLast, QString szError) {
    if (generation != m_generation.load())
        return; // a loader since replaced
    m_nTotal += static_cast<long>(chunk.size());
    m_pModel->Append(std::move(chunk));
    if (!bLast) {
        m_pState->setText(QStringLiteral("Загрузка… %1 записей").arg(m_nTotal));
        return;
    }
    m_bLoading = false;
    m_pTable->resizeColumnsToContents();
    UpdateChart();
    m_pProgress->setRange(0, 1);
    m_pProgress->setValue(1);
    // A problem: its first line in the window, the details in the tooltip.
    m_pState->setText(szError.isEmpty() ? QStringLiteral("Записей: %1").arg(m_nTotal)
                                        : szError.section('\n', 0, 0));
    m_pState->setToolTip(szError);
}

QWidget* HistoryWindow::MakeChartPanel() {
    auto* pPanel = new QWidget(this);
    m_pChartKind = new QComboBox(pPanel);
    m_pChartKind->addItem(QStringLiteral("tgD от температуры (выделенные пробы)"));
    m_pChartKind->addItem(QStringLiteral("tgD во времени (одна проба)"));
    m_pChart = new ChartView(pPanel);
    auto* pChoice = new QHBoxLayout;
    pChoice->addWidget(new QLabel(QStringLiteral("График:"), pPanel));
    pChoice->addWidget(m_pChartKind);
    pChoice->addStretch();
    auto* pLayout = new QVBoxLayout(pPanel);
    pLayout->setContentsMargins(0, 0, 0, 0);
    pLayout->addLayout(pChoice);
    pLayout->addWidget(m_pChart, 1);
    return pPanel;
}

std::set<SampleKey> HistoryWindow::SelectedSamples() const {
    std::set<SampleKey> samples;
    for (const QItemSelectionRange& range : m_pTable->selectionModel()->selection())
        for (int row = range.top(); row <= range.bottom(); ++row) {
            const history::StoredRecord& stored =
                m_pModel->At(m_pProxy->mapToSource(m_pProxy->index(row, 0)).row());
            if (stored.record.kind() == RecordKindSample)
                samples.insert({stored.instrument, stored.record.sampleNumber()});
        }
    history::Filter filter;
    QString szProblem;
    if (samples.empty() && ReadFilter(filter, szProblem) && filter.sample)
        for (const history::StoredRecord& stored : m_pModel->Records()) // of each instrument
            if (stored.record.kind() == RecordKindSample)
                samples.insert({stored.instrument, *filter.sample});
    return samples;
}

std::optional<SampleKey> HistoryWindow::ChartedSample(const std::set<SampleKey>& selected) const {
    const QModelIndex current = m_pTable->currentIndex();
    if (current.isValid() && m_pTable->selectionModel()->isSelected(current)) {
        const history::StoredRecord& stored = m_pModel->At(m_pProxy->mapToSource(current).row());
        if (stored.record.kind() == RecordKindSample)
            return SampleKey{stored.instrument, stored.record.sampleNumber()};
    }
    if (selected.empty())
        return std::nullopt;
    return *selected.begin();
}

void HistoryWindow::UpdateChart() {
    history::Filter filter;
    if (QString szProblem; !ReadFilter(filter, szProblem))
        return m_pChart->SetChart(std::nullopt, QStringLiteral("Фильтр не применён. ") + szProblem);
    const std::set<SampleKey> samples = SelectedSamples();
    const std::vector<history::StoredRecord>& records = m_pModel->Records();
    if (m_pChartKind->currentIndex() == 0) {
        if (samples.empty())
            return m_pChart->SetChart(std::nullopt,
                                      QStringLiteral("Выделите записи проб: здесь появится их tgD "
                                                     "в зависимости от температуры."));
        return m_pChart->SetChart(
            TemperatureChartOf(records, samples, m_instruments),
            QStringLiteral("У выделенных проб нет tgD, измеренного хотя бы при двух "
                           "температурах."));
    }
    const std::optional<SampleKey> sample = ChartedSample(samples);
    if (!sample)
        return m_pChart->SetChart(
            std::nullopt,
            QStringLiteral("Выделите запись пробы: здесь появится её tgD во времени."));
    m_pChart->SetChart(
        TimeChartOf(records, *sample),
        QStringLiteral("У пробы %1 меньше двух измерений tgD с датой.").arg(sample->second));
}

int HistoryWindow::ShownRows() const {
    return m_pProxy->rowCount();
}

void HistoryWindow::ExportSelection() {
    std::vector<history::StoredRecord> records;
    QModelIndexList rows = m_pTable->selectionModel()->selectedRows();
    if (rows.isEmpty())
        for (int row = 0; row < m_pProxy->rowCount(); ++row)
            rows.append(m_pProxy->index(row, 0));
    std::sort(rows.begin(), rows.end(),
              [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    for (const QModelIndex& index : rows)
        records.push_back(m_pModel->At(m_pProxy->mapToSource(index).row()));
    const std::optional<SaveChoice> choice = m_fnChooseExport ? m_fnChooseExport() : std::nullopt;
    if (!choice)
        return;
    m_exportForm = choice->form;
    std::unique_ptr<history::HistoryExport> gathered;
    try {
        // Each record with the empty cells of the download it came from.
        auto store = history::openHistory(m_szPath, history::OpenMode::ReadOnly);
        gathered = std::make_unique<history::HistoryExport>(*store, records);
    } catch (const history::Error& e) {
        // Without the downloads the empty cells are not known: nothing is written.
        QMessageBox::critical(
            this, windowTitle(),
            QStringLiteral("Файл не записан: история измерений не читается (%1).\n%2")
                .arg(QString::fromStdString(HistoryReasonText(e.kind())),
                     QString::fromStdString(e.what())));
        return;
    }
    const ResultsSaveOutcome outcome =
        SaveResultsAs(choice->form, gathered->Content(),
                      QFile::encodeName(choice->path).toStdString(), decimalSeparator());
    if (!outcome.ok)
        QMessageBox::critical(this, windowTitle(), QString::fromStdString(outcome.failure));
    else
        m_pState->setText(
            QStringLiteral("Записано записей: %1, файл %2").arg(records.size()).arg(choice->path));
}
