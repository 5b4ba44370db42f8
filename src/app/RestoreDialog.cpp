// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/RestoreDialog.h"
#include "app/ShownValues.h"

#include "app/Dialogs.h"
#include "app/MomentModel.h"
#include "app/StringConversion.h"
#include "app/Style.h"
#include "app/WaitCursor.h"
#include "backup/MomentBrowser.h"
#include "controls/GradientButton.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QSplitter>
#include <QStackedWidget>
#include <QTreeView>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <exception>

namespace stowmere::app {

namespace {

enum FoundColumn { FoundName, FoundFolder, FoundUntil, FoundSize, FoundModified, FoundColumnCount };

/// The last name of a path, and the folder that holds it.
std::pair<QString, QString> splitPath(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return {toQString(path), QString()};
    return {toQString(path.substr(slash + 1)),
            toQString(slash == 0 ? std::string("/") : path.substr(0, slash))};
}

} // namespace

RestoreDialog::RestoreDialog(Dialogs& dialogs, const QString& setDescription, std::string destination,
                             std::vector<std::string> items, const std::string& highlighted, QWidget* parent)
    : QDialog(parent), m_dialogs(dialogs), m_destination(std::move(destination)), m_items(std::move(items))
{
    setObjectName(QStringLiteral("restoreDialog"));
    setWindowTitle(tr("Restore"));
    const style::DialogFrame frame = style::frameDialog(*this, tr("Restore"));
    QVBoxLayout* layout = frame.content;

    auto* headline = new QLabel(tr("Restore from the backup of \"%1\"").arg(setDescription), this);
    headline->setObjectName(QStringLiteral("restoreHeadline"));
    headline->setTextFormat(Qt::PlainText);
    layout->addWidget(headline);

    m_problem = new QLabel(this);
    m_problem->setObjectName(QStringLiteral("restoreProblem"));
    m_problem->setTextFormat(Qt::PlainText);
    m_problem->setWordWrap(true);
    m_problem->hide();
    layout->addWidget(m_problem);

    auto* splitter = new QSplitter(this);
    auto* momentsPane = new QWidget(splitter);
    auto* momentsLayout = new QVBoxLayout(momentsPane);
    momentsLayout->setContentsMargins(0, 0, 0, 0);
    auto* momentsLabel = new QLabel(tr("&Backed up at:"), momentsPane);
    m_momentList = new QListWidget(momentsPane);
    m_momentList->setObjectName(QStringLiteral("restoreMoments"));
    momentsLabel->setBuddy(m_momentList);
    momentsLayout->addWidget(momentsLabel);
    momentsLayout->addWidget(m_momentList, 1);

    auto* filesPane = new QWidget(splitter);
    auto* filesLayout = new QVBoxLayout(filesPane);
    filesLayout->setContentsMargins(0, 0, 0, 0);
    m_search = new QLineEdit(filesPane);
    m_search->setObjectName(QStringLiteral("restoreSearch"));
    m_search->setPlaceholderText(tr("Find every kept version of a file by its name"));
    m_search->setClearButtonEnabled(true);
    // The hint says what the field is for: the field holds it whole, with room for the
    // clear button.
    m_search->setMinimumWidth(m_search->fontMetrics().horizontalAdvance(m_search->placeholderText()) + 40);
    filesLayout->addWidget(m_search);
    m_pages = new QStackedWidget(filesPane);
    m_tree = new QTreeView(m_pages);
    m_tree->setObjectName(QStringLiteral("restoreTree"));
    m_tree->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_tree->setUniformRowHeights(true);
    m_pages->addWidget(m_tree);
    m_foundList = new QTreeWidget(m_pages);
    m_foundList->setObjectName(QStringLiteral("restoreFound"));
    m_foundList->setRootIsDecorated(false);
    m_foundList->setColumnCount(FoundColumnCount);
    m_foundList->setHeaderLabels({tr("Name"), tr("Folder"), tr("Until"), tr("Size"), tr("Modified")});
    m_foundList->headerItem()->setToolTip(
        FoundUntil, tr("The backup that replaced or removed this version: it is the file as it was "
                       "before that backup"));
    style::holdHeaderTitles(*m_foundList->header());
    m_pages->addWidget(m_foundList);
    filesLayout->addWidget(m_pages, 1);
    splitter->setStretchFactor(1, 3);
    layout->addWidget(splitter, 1);

    auto* targetRow = new QHBoxLayout;
    m_toOriginal = new QRadioButton(tr("To the &original places"), this);
    m_toOriginal->setObjectName(QStringLiteral("restoreToOriginal"));
    m_toFolder = new QRadioButton(tr("Into this &folder:"), this);
    m_toFolder->setObjectName(QStringLiteral("restoreToFolder"));
    auto* targets = new QButtonGroup(this);
    targets->addButton(m_toOriginal);
    targets->addButton(m_toFolder);
    m_toFolder->setChecked(true);
    m_folder = new QLineEdit(this);
    m_folder->setObjectName(QStringLiteral("restoreFolder"));
    targetRow->addWidget(m_toOriginal);
    targetRow->addWidget(m_toFolder);
    targetRow->addWidget(m_folder, 1);
    layout->addLayout(targetRow);
    m_replace = new QCheckBox(tr("&Replace files that differ"), this);
    m_replace->setObjectName(QStringLiteral("restoreReplace"));
    layout->addWidget(m_replace);

    m_browse = style::makeBarButton(this, tr("Bro&wse..."));
    m_browse->setObjectName(QStringLiteral("restoreBrowse"));
    frame.buttons->addWidget(m_browse);
    frame.buttons->addStretch(1);
    m_restore = style::makeBarButton(this, tr("Res&tore"));
    m_restore->setObjectName(QStringLiteral("restoreStart"));
    m_restore->setDefault(true);
    frame.buttons->addWidget(m_restore);
    m_cancel = style::makeBarButton(this, tr("&Cancel"));
    m_cancel->setObjectName(QStringLiteral("restoreCancel"));
    m_cancel->setCancel(true);
    frame.buttons->addWidget(m_cancel);

    connect(m_momentList, &QListWidget::currentRowChanged, this, &RestoreDialog::showMoment);
    connect(m_search, &QLineEdit::returnPressed, this, &RestoreDialog::search);
    connect(m_search, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (text.trimmed().isEmpty()) {
            m_pages->setCurrentWidget(m_tree);
            updateButtons();
        }
    });
    connect(m_foundList, &QTreeWidget::itemSelectionChanged, this, &RestoreDialog::updateButtons);
    connect(m_toOriginal, &QRadioButton::toggled, this, &RestoreDialog::updateButtons);
    connect(m_folder, &QLineEdit::textChanged, this, &RestoreDialog::updateButtons);
    connect(m_browse, &controls::GradientControl::clicked, this, &RestoreDialog::chooseFolder);
    connect(m_restore, &controls::GradientControl::clicked, this, &RestoreDialog::restore);
    connect(m_cancel, &controls::GradientControl::clicked, this, &QDialog::reject);

    try {
        const WaitCursor busy;
        m_moments = backup::recordedMoments(m_destination);
    } catch (const std::exception& failure) {
        showProblem(toQString(failure.what()));
    }
    if (m_moments.empty() && m_problem->isHidden()) {
        // Copies made before runs were recorded: only their latest state is known.
        m_moments.push_back(std::time(nullptr));
        m_momentList->addItem(tr("Latest backup"));
    } else {
        for (std::size_t i = 0; i < m_moments.size(); ++i)
            m_momentList->addItem(i == 0 ? tr("%1 (latest)").arg(localTime(m_moments[i]))
                                         : localTime(m_moments[i]));
    }
    if (!m_moments.empty())
        m_momentList->setCurrentRow(0);
    if (!highlighted.empty() && m_model) {
        const QModelIndex item = m_model->itemIndex(highlighted);
        if (item.isValid())
            m_tree->selectionModel()->select(item,
                                             QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        m_tree->setCurrentIndex(item);
    }
    updateButtons();
    resize(820, 520);
}

RestoreDialog::~RestoreDialog() = default;

QString RestoreDialog::localTime(std::time_t moment)
{
    return shown::dateTime(moment);
}

void RestoreDialog::showProblem(const QString& text)
{
    m_problem->setText(text);
    m_problem->show();
}

void RestoreDialog::showMoment(int row)
{
    if (row < 0 || row >= static_cast<int>(m_moments.size()))
        return;
    MomentModel* old = m_model;
    m_model = nullptr;
    try {
        const WaitCursor busy;
        m_model = new MomentModel(std::make_unique<backup::MomentBrowser>(
                                      m_destination, m_items, m_moments[static_cast<std::size_t>(row)]),
                                  this);
        m_problem->hide();
    } catch (const std::exception& failure) {
        showProblem(toQString(failure.what()));
    }
    m_tree->setModel(m_model);
    delete old;
    if (m_model) {
        connect(m_model, &MomentModel::readFailed, this, &RestoreDialog::showProblem);
        connect(m_tree->selectionModel(), &QItemSelectionModel::selectionChanged, this,
                &RestoreDialog::updateButtons);
        m_tree->header()->setSectionResizeMode(MomentModel::NameColumn, QHeaderView::Stretch);
        m_tree->header()->setSectionResizeMode(MomentModel::SizeColumn, QHeaderView::ResizeToContents);
        m_tree->header()->setSectionResizeMode(MomentModel::ModifiedColumn, QHeaderView::ResizeToContents);
        m_tree->header()->setStretchLastSection(false);
        style::holdHeaderTitles(*m_tree->header());
    }
    m_search->clear();
    m_pages->setCurrentWidget(m_tree);
    updateButtons();
}

void RestoreDialog::search()
{
    const QString text = m_search->text().trimmed();
    if (text.isEmpty())
        return;
    if (!m_versions) {
        try {
            const WaitCursor busy;
            m_versions = backup::keptVersions(m_destination, m_items);
        } catch (const std::exception& failure) {
            showProblem(toQString(failure.what()));
            return;
        }
    }
    m_foundList->clear();
    m_found.clear();
    // Newest first, as the moments are listed.
    for (auto version = m_versions->rbegin(); version != m_versions->rend(); ++version) {
        if (version->original.empty())
            continue; // no item of the set holds it any more: nowhere to put it back
        const auto [name, folder] = splitPath(version->original);
        if (!name.contains(text, Qt::CaseInsensitive))
            continue;
        auto* row = new QTreeWidgetItem(m_foundList);
        row->setText(FoundName, name);
        row->setText(FoundFolder, folder);
        row->setText(FoundUntil, localTime(version->run));
        row->setText(FoundSize, shown::byteSize(version->size));
        row->setTextAlignment(FoundSize, Qt::AlignRight | Qt::AlignVCenter);
        row->setText(FoundModified, localTime(version->modified.tv_sec));
        row->setToolTip(FoundName, toQString(version->original));
        m_found.push_back(&*version);
    }
    for (int column = 0; column < FoundColumnCount; ++column)
        m_foundList->resizeColumnToContents(column);
    m_pages->setCurrentWidget(m_foundList);
    if (m_found.empty())
        showProblem(tr("No kept version of a file named like \"%1\".").arg(text));
    else
        m_problem->hide();
    updateButtons();
}

void RestoreDialog::chooseFolder()
{
    const std::optional<QString> folder = m_dialogs.browseFolder(m_folder->text());
    if (!folder)
        return;
    m_folder->setText(*folder);
    m_toFolder->setChecked(true);
}

std::vector<std::string> RestoreDialog::selectedPaths() const
{
    std::vector<std::string> paths;
    if (!m_model)
        return paths;
    for (const QModelIndex& index : m_tree->selectionModel()->selectedRows(0))
        paths.push_back(m_model->originalPath(index));
    std::sort(paths.begin(), paths.end());
    // A path inside a folder that is chosen too comes back with the folder.
    std::vector<std::string> outermost;
    for (const std::string& path : paths) {
        if (!outermost.empty() && path.size() > outermost.back().size() &&
            path.compare(0, outermost.back().size(), outermost.back()) == 0 &&
            (outermost.back().back() == '/' || path[outermost.back().size()] == '/'))
            continue;
        outermost.push_back(path);
    }
    return outermost;
}

void RestoreDialog::updateButtons()
{
    const bool searching = m_pages->currentWidget() == m_foundList;
    const bool chosen = searching ? !m_foundList->selectedItems().isEmpty() : !selectedPaths().empty();
    const bool target = m_toOriginal->isChecked() || !m_folder->text().trimmed().isEmpty();
    m_restore->setEnabled(chosen && target);
}

backup::RestoreRequest RestoreDialog::request() const
{
    backup::RestoreRequest request;
    request.destination = m_destination;
    request.items = m_items;
    if (m_pages->currentWidget() == m_foundList) {
        const int row = m_foundList->indexOfTopLevelItem(m_foundList->selectedItems().value(0));
        if (row >= 0 && row < static_cast<int>(m_found.size())) {
            const backup::KeptVersion& version = *m_found[static_cast<std::size_t>(row)];
            request.paths.push_back(version.original);
            // The kept copy is the file as it stood until the run that kept it.
            request.at = version.run - 1;
        }
    } else {
        request.paths = selectedPaths();
        const int row = m_momentList->currentRow();
        if (row >= 0 && row < static_cast<int>(m_moments.size()))
            request.at = m_moments[static_cast<std::size_t>(row)];
    }
    if (m_toFolder->isChecked())
        request.to = toUtf8String(m_folder->text().trimmed());
    request.overwrite = m_replace->isChecked();
    return request;
}

QString RestoreDialog::targetText() const
{
    return m_toFolder->isChecked() ? m_folder->text().trimmed() : tr("their original places");
}

void RestoreDialog::restore()
{
    if (!m_restore->isEnabled())
        return;
    if (m_toFolder->isChecked() && !QDir(m_folder->text().trimmed()).exists()) {
        m_dialogs.error(tr("The folder %1 does not exist.").arg(m_folder->text().trimmed()));
        return;
    }
    accept();
}

} // namespace stowmere::app
