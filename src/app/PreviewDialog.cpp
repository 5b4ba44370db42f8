// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/PreviewDialog.h"
#include "app/ShownValues.h"

#include "app/Style.h"
#include "controls/GradientButton.h"

#include "app/PreviewModel.h"
#include "app/StringConversion.h"
#include "progress/GifAnimator.h"
#include "progress/GifError.h"
#include "progress/ProgressResources.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <exception>
#include <mutex>

namespace stowmere::app {
namespace {

// Rows join the list at most this often, however fast the scan finds them: each batch is
// one insertion into the view, so a long list stays smooth to scroll while it grows.
constexpr int kBatchMilliseconds = 100;

// Counts beyond what an int holds are shown as the largest it does; no preview gets there.
int pluralCount(std::uint64_t count)
{
    return static_cast<int>(std::min<std::uint64_t>(count, static_cast<std::uint64_t>(INT_MAX)));
}

} // namespace

/// The scan's side: answers the engine on the worker thread from the checks taken at the
/// start, and keeps what it finds until the dialog takes it.
class PreviewDialog::Collector final : public backup::BackupObserver {
public:
    explicit Collector(std::vector<bool> checked) : m_checked(std::move(checked)) {}

    bool isItemChecked(std::size_t index) override { return index < m_checked.size() && m_checked[index]; }
    // A preview leaves the check list as it is.
    void uncheckItem(std::size_t) override {}
    void fileCopied(std::uint64_t) override {}
    void itemDone() override {}
    void closeProgress() override {}
    void previewEntry(const backup::PreviewEntry& entry) override
    {
        const std::lock_guard lock(m_mutex);
        m_entries.push_back(entry);
    }
    void showError(const std::string& text) override { addMessage(text); }
    void showInformation(const std::string& text) override { addMessage(text); }
    void addMessage(const std::string& text)
    {
        const std::lock_guard lock(m_mutex);
        m_messages.push_back(text);
    }

    void take(std::vector<backup::PreviewEntry>& entries, std::vector<std::string>& messages)
    {
        const std::lock_guard lock(m_mutex);
        entries.swap(m_entries);
        messages.swap(m_messages);
    }

private:
    const std::vector<bool> m_checked;
    std::mutex m_mutex;
    std::vector<backup::PreviewEntry> m_entries;
    std::vector<std::string> m_messages;
};

PreviewDialog::PreviewDialog(const QString& setDescription, backup::BackupSettings settings,
                             std::vector<std::string> items, std::vector<bool> checked, QWidget* parent)
    : QDialog(parent), m_collector(std::make_unique<Collector>(std::move(checked)))
{
    setObjectName(QStringLiteral("previewDialog"));
    setWindowTitle(tr("Preview Backup"));
    createComponents(setDescription);

    settings.dryRun = true;
    m_thread = std::make_unique<WorkerThread>(
        QStringLiteral("PreviewScan"),
        [this, settings = std::move(settings), items = std::move(items)] {
            try {
                m_result = backup::runBackup(settings, items, *m_collector, m_cancelFlag);
            } catch (const std::exception& error) {
                m_collector->addMessage(error.what());
            }
        },
        [this] { m_cancelFlag = true; });
    connect(m_thread.get(), &WorkerThread::finished, this, &PreviewDialog::scanDone);
    m_batchTimer->start(kBatchMilliseconds);
    m_thread->start();
}

// The scan stops and is joined as m_thread goes, before the dialog's widgets do.
PreviewDialog::~PreviewDialog() = default;

void PreviewDialog::createComponents(const QString& setDescription)
{
    resize(760, 480);
    const style::DialogFrame frame = style::frameDialog(*this, tr("Preview Backup"));
    QVBoxLayout* layout = frame.content;

    auto* top = new QHBoxLayout;
    m_headline = new QLabel(tr("What a backup of \"%1\" would do").arg(setDescription), this);
    m_headline->setObjectName(QStringLiteral("previewHeadline"));
    m_headline->setTextFormat(Qt::PlainText);
    top->addWidget(m_headline, 1);
    progress::resources::init();
    m_busy = new progress::GifAnimator(this);
    m_busy->setObjectName(QStringLiteral("previewBusy"));
    m_busy->setFixedSize(32, 32);
    try {
        m_busy->setImage(progress::GifPicture::load(progress::resources::busyPicture()));
        m_busy->setAnimate(true);
    } catch (const progress::GifError&) {
        // Without its picture the dialog still works; the headline says it is busy.
        m_busy->hide();
    }
    top->addWidget(m_busy);
    layout->addLayout(top);

    m_model = new PreviewModel(this);
    m_list = new QTableView(this);
    m_list->setObjectName(QStringLiteral("previewList"));
    m_list->setModel(m_model);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setWordWrap(false);
    m_list->setTextElideMode(Qt::ElideMiddle);
    m_list->setShowGrid(false);
    m_list->verticalHeader()->hide();
    // Fixed row heights and column widths: nothing has to measure every row as it grows.
    m_list->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_list->verticalHeader()->setDefaultSectionSize(m_list->fontMetrics().height() + 6);
    m_list->horizontalHeader()->setSectionResizeMode(PreviewModel::PathColumn, QHeaderView::Stretch);
    m_list->horizontalHeader()->setSectionResizeMode(PreviewModel::SizeColumn, QHeaderView::Interactive);
    m_list->horizontalHeader()->setSectionResizeMode(PreviewModel::ReasonColumn, QHeaderView::Interactive);
    m_list->setColumnWidth(PreviewModel::SizeColumn, 100);
    m_list->setColumnWidth(PreviewModel::ReasonColumn, 140);
    style::holdHeaderTitles(*m_list->horizontalHeader());
    layout->addWidget(m_list, 1);
    auto* copy = new QAction(tr("&Copy"), m_list);
    copy->setObjectName(QStringLiteral("copyAction"));
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetShortcut);
    m_list->addAction(copy);
    m_list->setContextMenuPolicy(Qt::ActionsContextMenu);
    connect(copy, &QAction::triggered, this, &PreviewDialog::copySelection);

    m_messages = new QPlainTextEdit(this);
    m_messages->setObjectName(QStringLiteral("previewMessages"));
    m_messages->setReadOnly(true);
    m_messages->setMaximumHeight(90);
    m_messages->hide();
    layout->addWidget(m_messages);

    m_totals = new QLabel(tr("Scanning..."), this);
    m_totals->setObjectName(QStringLiteral("previewTotals"));
    m_totals->setTextFormat(Qt::PlainText);
    // The totals are a sentence: at the dialog's smallest size it goes on in a second line.
    m_totals->setWordWrap(true);
    layout->addWidget(m_totals);
    m_button = style::makeBarButton(this, tr("&Cancel"));
    m_button->setObjectName(QStringLiteral("previewCancel"));
    frame.buttons->addWidget(m_button);

    m_batchTimer = new QTimer(this);
    connect(m_batchTimer, &QTimer::timeout, this, &PreviewDialog::takeFound);
    connect(m_button, &controls::GradientControl::clicked, this, &PreviewDialog::cancelOrClose);
}

void PreviewDialog::cancelOrClose()
{
    if (!m_scanning) {
        accept();
        return;
    }
    m_cancelFlag = true;
    m_button->setEnabled(false);
    m_totals->setText(tr("Cancelling..."));
}

void PreviewDialog::reject()
{
    // Escape or the title bar's close during the scan stops it; the worker is waited for
    // when the dialog is destroyed.
    m_cancelFlag = true;
    QDialog::reject();
}

void PreviewDialog::takeFound()
{
    std::vector<backup::PreviewEntry> entries;
    std::vector<std::string> messages;
    m_collector->take(entries, messages);
    m_model->append(entries);
    for (const std::string& text : messages) {
        m_messages->appendPlainText(toQString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
        m_messages->show();
    }
    if (m_scanning && !m_cancelFlag)
        m_totals->setText(tr("Scanning... %n entry(ies) so far", nullptr, m_model->rowCount()));
}

void PreviewDialog::scanDone()
{
    m_batchTimer->stop();
    m_scanning = false;
    takeFound();
    m_busy->setAnimate(false);
    m_busy->hide();
    m_totals->setText(totalsText(m_result));
    m_button->setCaption(tr("&Close"));
    m_button->setEnabled(true);
    emit scanFinished();
}

QString PreviewDialog::selectedText() const
{
    QStringList lines;
    const QModelIndexList rows = m_list->selectionModel()->selectedRows();
    std::vector<int> numbers;
    numbers.reserve(static_cast<std::size_t>(rows.size()));
    for (const QModelIndex& row : rows)
        numbers.push_back(row.row());
    std::sort(numbers.begin(), numbers.end());
    for (const int row : numbers) {
        QStringList fields;
        for (int column = 0; column < PreviewModel::ColumnCount; ++column)
            fields << m_model->index(row, column).data().toString();
        lines << fields.join(QLatin1Char('\t'));
    }
    if (!m_scanning && static_cast<int>(numbers.size()) == m_model->rowCount())
        lines << totalsText(m_result);
    return lines.join(QLatin1Char('\n'));
}

void PreviewDialog::copySelection()
{
    QApplication::clipboard()->setText(selectedText());
}

QString PreviewDialog::totalsText(const backup::BackupResult& result)
{
    if (result.refused)
        return tr("The preview could not start.");
    const backup::PreviewTotals& totals = result.preview;
    QString text =
        tr("A backup would copy %1 (%2) and create %3.")
            .arg(tr("%n file(s)", nullptr, pluralCount(totals.files)), shown::byteSize(totals.bytes),
                 tr("%n folder(s)", nullptr, pluralCount(totals.folders)));
    if (result.excluded > 0)
        text +=
            QLatin1Char(' ') + tr("%n file(s) or folder(s) left out.", nullptr, pluralCount(result.excluded));
    if (totals.same > 0)
        text += QLatin1Char(' ') + tr("%n file(s) up to date.", nullptr, pluralCount(totals.same));
    if (totals.removals > 0)
        text += QLatin1Char(' ') + tr("%n copy(ies) whose source(s) are gone would move into versions.",
                                      nullptr, pluralCount(totals.removals));
    if (!result.missingItems.empty())
        text +=
            QLatin1Char(' ') + tr("%n item(s) not found.", nullptr, pluralCount(result.missingItems.size()));
    if (result.notBackedUpCount > 0)
        text += QLatin1Char(' ') + tr("%n file(s) or folder(s) could not be read.", nullptr,
                                      pluralCount(result.notBackedUpCount));
    if (result.cancelled)
        text = tr("Cancelled. So far: %1").arg(text);
    return text;
}

} // namespace stowmere::app
