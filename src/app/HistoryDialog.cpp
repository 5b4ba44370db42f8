// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/HistoryDialog.h"
#include "app/ShownValues.h"

#include "app/StringConversion.h"
#include "app/Style.h"
#include "controls/GradientButton.h"

#include <QAbstractTableModel>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QScreen>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>
#include <iterator>
#include <string_view>

namespace stowmere::app {

using catalog::RunRecord;

namespace {

// The history file keeps these words in English; the window shows them in the user's
// language. Indexed by the enumerations' values.
constexpr const char* kModeWords[] = {
    QT_TRANSLATE_NOOP("HistoryDialog", "full"),
    QT_TRANSLATE_NOOP("HistoryDialog", "incremental"),
    QT_TRANSLATE_NOOP("HistoryDialog", "dry run"),
    QT_TRANSLATE_NOOP("HistoryDialog", "verify"),
};
constexpr const char* kOutcomeWords[] = {
    QT_TRANSLATE_NOOP("HistoryDialog", "ok"),      QT_TRANSLATE_NOOP("HistoryDialog", "warnings"),
    QT_TRANSLATE_NOOP("HistoryDialog", "failed"),  QT_TRANSLATE_NOOP("HistoryDialog", "cancelled"),
    QT_TRANSLATE_NOOP("HistoryDialog", "refused"),
};

QString shownWord(const char* const* words, std::size_t count, std::size_t index, const char* stored)
{
    if (index >= count || std::string_view(words[index]) != stored)
        return QString::fromLatin1(stored);
    return QCoreApplication::translate("HistoryDialog", words[index]);
}

QString shownMode(catalog::RunMode mode)
{
    return shownWord(kModeWords, std::size(kModeWords), static_cast<std::size_t>(mode),
                     catalog::modeName(mode));
}

QString shownOutcome(catalog::RunOutcome outcome)
{
    return shownWord(kOutcomeWords, std::size(kOutcomeWords), static_cast<std::size_t>(outcome),
                     catalog::outcomeName(outcome));
}

} // namespace

class HistoryDialog::Model final : public QAbstractTableModel {
public:
    Model(std::vector<RunRecord> runs, QObject* parent) : QAbstractTableModel(parent), m_runs(std::move(runs))
    {
        std::reverse(m_runs.begin(), m_runs.end());
    }

    int rowCount(const QModelIndex& parent) const override
    {
        return parent.isValid() ? 0 : static_cast<int>(m_runs.size());
    }
    int columnCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : ColumnCount; }

    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!index.isValid() || index.row() >= static_cast<int>(m_runs.size()))
            return {};
        const RunRecord& run = m_runs[static_cast<std::size_t>(index.row())];
        if (role == Qt::ToolTipRole)
            return details(run);
        if (role == Qt::TextAlignmentRole &&
            (index.column() == FilesColumn || index.column() == SizeColumn ||
             index.column() == NotFoundColumn || index.column() == FailedColumn))
            return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        if (role != Qt::DisplayRole)
            return {};
        switch (index.column()) {
        case StartColumn:
            return localTime(run.start);
        case EndColumn:
            return localTime(run.end);
        case ModeColumn:
            return shownMode(run.mode);
        case OutcomeColumn:
            return shownOutcome(run.outcome);
        case FilesColumn:
            return QString::number(run.files);
        case SizeColumn:
            return shown::byteSize(run.bytes);
        case NotFoundColumn:
            return QString::number(run.missingItems.size());
        case FailedColumn:
            return QString::number(std::max<std::uint64_t>(run.failureCount, run.failures.size()));
        case ReasonColumn:
            return toQString(run.reason);
        default:
            return {};
        }
    }

    const RunRecord* run(int row) const
    {
        return row >= 0 && row < static_cast<int>(m_runs.size()) ? &m_runs[static_cast<std::size_t>(row)]
                                                                 : nullptr;
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
            return QAbstractTableModel::headerData(section, orientation, role);
        static const char* const names[ColumnCount] = {
            QT_TRANSLATE_NOOP("HistoryDialog", "Started"),   QT_TRANSLATE_NOOP("HistoryDialog", "Ended"),
            QT_TRANSLATE_NOOP("HistoryDialog", "Mode"),      QT_TRANSLATE_NOOP("HistoryDialog", "Outcome"),
            QT_TRANSLATE_NOOP("HistoryDialog", "Files"),     QT_TRANSLATE_NOOP("HistoryDialog", "Size"),
            QT_TRANSLATE_NOOP("HistoryDialog", "Not found"), QT_TRANSLATE_NOOP("HistoryDialog", "Failed"),
            QT_TRANSLATE_NOOP("HistoryDialog", "Reason")};
        return section >= 0 && section < ColumnCount ? HistoryDialog::tr(names[section]) : QVariant();
    }

private:
    // The items not found and the files that failed, for the row's tooltip.
    static QString details(const RunRecord& run)
    {
        QStringList lines;
        lines << HistoryDialog::tr("Backup To Folder: %1").arg(toQString(run.destination));
        for (const std::string& note : run.notes)
            lines << HistoryDialog::tr("Note: %1").arg(toQString(note));
        for (const std::string& item : run.missingItems)
            lines << HistoryDialog::tr("Not found: %1").arg(toQString(item));
        for (const backup::NotBackedUp& failure : run.failures)
            lines << HistoryDialog::tr("Failed: %1: %2")
                         .arg(toQString(failure.path), toQString(failure.reason));
        if (run.failureCount > run.failures.size())
            lines << HistoryDialog::tr("... and %1 more").arg(run.failureCount - run.failures.size());
        return lines.join(QLatin1Char('\n'));
    }

    std::vector<RunRecord> m_runs;
};

HistoryDialog::HistoryDialog(const QString& setDescription, std::vector<RunRecord> runs,
                             const std::vector<std::string>& warnings, QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("historyDialog"));
    setWindowTitle(tr("Backup History"));
    const style::DialogFrame frame = style::frameDialog(*this, tr("Backup History"));
    QVBoxLayout* layout = frame.content;

    const std::size_t count = runs.size();
    m_headline = new QLabel(this);
    m_headline->setObjectName(QStringLiteral("historyHeadline"));
    m_headline->setTextFormat(Qt::PlainText);
    m_headline->setText(count == 0 ? tr("\"%1\" has no recorded runs yet.").arg(setDescription)
                                   : tr("Runs of \"%1\", newest first: %2").arg(setDescription).arg(count));
    layout->addWidget(m_headline);

    m_list = new QTableView(this);
    m_list->setObjectName(QStringLiteral("historyList"));
    m_model = new Model(std::move(runs), this);
    m_list->setModel(m_model);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setWordWrap(false);
    m_list->setShowGrid(false);
    m_list->verticalHeader()->hide();
    // Every column as wide as its widest entry, the reason included: a cut reason would
    // say nothing. A history wider than the dialog scrolls.
    m_list->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_list->horizontalHeader()->setStretchLastSection(false);
    m_list->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    layout->addWidget(m_list, 1);

    m_notes = new QLabel(this);
    m_notes->setObjectName(QStringLiteral("historyNotes"));
    m_notes->setTextFormat(Qt::PlainText);
    m_notes->setWordWrap(true);
    m_notes->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_notes);
    connect(m_list->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) { showNotes(current.row()); });
    // The newest run is the one a user opens the history for.
    if (count > 0)
        m_list->setCurrentIndex(m_model->index(0, 0));
    else
        showNotes(-1);

    m_warnings = new QLabel(this);
    m_warnings->setObjectName(QStringLiteral("historyWarnings"));
    m_warnings->setTextFormat(Qt::PlainText);
    m_warnings->setWordWrap(true);
    QStringList lines;
    for (const std::string& warning : warnings)
        lines << toQString(warning);
    m_warnings->setText(lines.join(QLatin1Char('\n')));
    m_warnings->setVisible(!lines.isEmpty());
    layout->addWidget(m_warnings);

    m_close = style::makeBarButton(this, tr("&Close"));
    m_close->setObjectName(QStringLiteral("historyClose"));
    m_close->setDefault(true);
    frame.buttons->addWidget(m_close);
    connect(m_close, &controls::GradientControl::clicked, this, &QDialog::accept);

    // Wide enough for every column where the screen allows.
    m_list->resizeColumnsToContents();
    const int width = m_list->horizontalHeader()->length() + 2 * m_list->frameWidth() + 22 + 2 * 11;
    const QScreen* screen = QGuiApplication::primaryScreen();
    const int limit = screen ? screen->availableGeometry().width() * 9 / 10 : width;
    resize(std::clamp(width, 640, std::max(640, limit)), 400);
}

void HistoryDialog::showNotes(int row)
{
    const RunRecord* run = m_model->run(row);
    if (!run || run->notes.empty()) {
        m_notes->clear();
        m_notes->hide();
        return;
    }
    QStringList lines{tr("Notes of the run started %1:").arg(localTime(run->start))};
    for (const std::string& note : run->notes)
        lines << toQString(note);
    m_notes->setText(lines.join(QLatin1Char('\n')));
    m_notes->show();
}

QString HistoryDialog::localTime(RunRecord::Clock::time_point time)
{
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(time.time_since_epoch()).count();
    return shown::dateTime(seconds);
}

} // namespace stowmere::app
