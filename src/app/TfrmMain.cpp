// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/TfrmMain.h"

#include "app/AppTexts.h"
#include "app/Dialogs.h"
#include "app/Glyphs.h"
#include "app/ListItemPainter.h"
#include "app/Style.h"
#include "app/TBackupThread.h"
#include "app/TCheckListBox.h"
#include "app/TfrmAECategory.h"
#include "app/UiThread.h"
#include "app/WaitCursor.h"
#include "backup/BackupStartCheck.h"
#include "catalog/Catalog.h"
#include "catalog/Errors.h"
#include "catalog/Messages.h"
#include "controls/GradButton.h"
#include "controls/GradCheckBox.h"
#include "controls/GradPanel.h"
#include "placement/TFormPlacement.h"
#include "progress/Progress.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPropertyAnimation>
#include <QScreen>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <exception>

namespace stowmere::app {
namespace {

const QString kHelpText =
    QStringLiteral("This is a short help tutorial.\r\n\r\n"
                   "- To backup, create a Backup Name, add files and folders to the list,\r\n"
                   "   then select by checking the files and folders that need to be backed-up,\r\n"
                   "   and then click the Backup button.\r\n\r\n"
                   "- The Incremental Backup checkbox lets you backup modified files only.\r\n\r\n"
                   "- The Add Folder button adds a new folder to the list for backup.\r\n\r\n"
                   "- The Add Files button adds new files to the list for backup.\r\n\r\n"
                   "- The Delete button is for deleting checked item(s).\r\n\r\n"
                   "- The Backup button copies all files and folders in the list\r\n"
                   "   to the Backup To Folder selected in Backup Information.");

constexpr int kFadeMilliseconds = 600;
// Where FormResize keeps Exit and the web address: their left edges this far from the
// window's right edge.
constexpr int kCloseFromRight = 100;
constexpr int kWebFromRight = 175;

QString fromStd(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
std::string toStd(const QString& text)
{
    return text.toUtf8().toStdString();
}

// Ends a bulk update of a list on every exit path.
class BulkUpdate {
public:
    explicit BulkUpdate(TListBox& list) : m_list(list) { m_list.beginUpdate(); }
    ~BulkUpdate() { m_list.endUpdate(); }
    BulkUpdate(const BulkUpdate&) = delete;
    BulkUpdate& operator=(const BulkUpdate&) = delete;

private:
    TListBox& m_list;
};

void drawListItem(TListBox& list, int index, QPainter& painter, const QRect& rect, QStyle::State state)
{
    ListItemPainter::drawItem(painter, rect, list.itemText(index), state.testFlag(QStyle::State_Selected));
}

} // namespace

TfrmMain::TfrmMain(Dialogs& dialogs, std::string dataFolder, QWidget* parent)
    : QWidget(parent), m_dialogs(dialogs), m_dataFolder(std::move(dataFolder)),
      m_catalog(std::make_unique<catalog::Catalog>(m_dataFolder))
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(texts::mainCaption());
    createComponents();
    FormPlacement1 = new TFormPlacement(this);
    FormPlacement1->setCloseQueryHandler([this] { return closeQuery(); });
    FormPlacement1->setErrorReport([this](const QString& message) { m_dialogs.reportException(message); });
    FormCreate();
}

TfrmMain::~TfrmMain()
{
    if (m_backupThread) {
        // A run still going when the window is destroyed (only a test does that): stop it,
        // answering its calls to this thread while waiting.
        m_cancelFlag = true;
        while (!m_backupThread->wait(10))
            QCoreApplication::processEvents();
        delete m_backupThread;
        m_backupThread = nullptr;
    }
    CloseTables();
}

void TfrmMain::setProgress(TfrmProgress* progress)
{
    m_progress = progress;
    m_progress->setCancelFlag(&m_cancelFlag);
}

void TfrmMain::createComponents()
{
    resize(1024, 600);
    setFont(style::sansFont(11));
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    GradPanel1 = new TGradPanel(this);
    GradPanel1->setObjectName(QStringLiteral("GradPanel1"));
    GradPanel1->setFixedHeight(45);
    style::styleTitlePanel(*GradPanel1, QStringLiteral("Stowmere"));
    outer->addWidget(GradPanel1);

    Label2 = new QLabel(QStringLiteral("Backup Name"), GradPanel1);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setFont(style::sansFont(11, true));
    Label2->setStyleSheet(QStringLiteral("color: white; background: transparent;"));
    Label2->adjustSize();
    Label2->move(56, 22);

    Label1 = new QLabel(texts::webCaption(), GradPanel1);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setFont(style::sansFont(11));
    Label1->setStyleSheet(QStringLiteral("color: white; background: transparent;"));
    Label1->setCursor(Qt::PointingHandCursor);
    Label1->setToolTip(texts::webAddress());
    Label1->adjustSize();
    Label1->move(856, 16);
    Label1->installEventFilter(this);

    auto* middle = new QHBoxLayout;
    middle->setContentsMargins(0, 0, 0, 0);
    middle->setSpacing(0);
    outer->addLayout(middle, 1);

    GradPanel2 = new TGradPanel(this);
    GradPanel2->setObjectName(QStringLiteral("GradPanel2"));
    GradPanel2->setFixedWidth(233);
    style::styleWhitePanel(*GradPanel2, 5);
    GradPanel2->setFont(style::sansFont(13));
    middle->addWidget(GradPanel2);

    lstCategory = new TListBox(GradPanel2);
    lstCategory->setObjectName(QStringLiteral("lstCategory"));
    lstCategory->setToolTip(QStringLiteral("Double-click to edit Backup Information"));
    lstCategory->setOnDrawItem(drawListItem);
    auto* categoryBox = new QVBoxLayout(GradPanel2);
    categoryBox->setContentsMargins(0, 0, 0, 0); // the panel's own margins inset the list
    categoryBox->addWidget(lstCategory);

    GradPanel5 = new TGradPanel(this);
    GradPanel5->setObjectName(QStringLiteral("GradPanel5"));
    style::styleWhitePanel(*GradPanel5, 5);
    GradPanel5->SetFontColor(0xCE0000);
    middle->addWidget(GradPanel5, 1);

    chklstList = new TCheckListBox(GradPanel5);
    chklstList->setObjectName(QStringLiteral("chklstList"));
    chklstList->setFont(style::sansFont(13));
    chklstList->setOnDrawItem(drawListItem);
    auto* pathBox = new QVBoxLayout(GradPanel5);
    pathBox->setContentsMargins(0, 0, 0, 0);
    pathBox->addWidget(chklstList);

    GradPanel4 = new TGradPanel(this);
    GradPanel4->setObjectName(QStringLiteral("GradPanel4"));
    GradPanel4->setFixedWidth(208);
    style::styleWhitePanel(*GradPanel4, 5);
    middle->addWidget(GradPanel4);

    btnAddFolder = style::makeButton(GradPanel4, QStringLiteral("Add Folder"), Glyphs::addFolder(), 12, true);
    btnAddFolder->setObjectName(QStringLiteral("btnAddFolder"));
    btnAddFolder->setGeometry(38, 34, 126, 55);
    btnAddFiles = style::makeButton(GradPanel4, QStringLiteral("Add Files"), Glyphs::addFiles(), 12, true);
    btnAddFiles->setObjectName(QStringLiteral("btnAddFiles"));
    btnAddFiles->setGeometry(38, 146, 126, 55);
    btnDelete = style::makeButton(GradPanel4, QStringLiteral("Delete"), Glyphs::deleteItems(), 15, true);
    btnDelete->setObjectName(QStringLiteral("btnDelete"));
    btnDelete->setGeometry(38, 258, 126, 55);
    btnBackup = style::makeButton(GradPanel4, QStringLiteral("Backup"), Glyphs::backup(), 10, true);
    btnBackup->setObjectName(QStringLiteral("btnBackup"));
    btnBackup->setGeometry(38, 378, 126, 55);

    GradPanel3 = new TGradPanel(this);
    GradPanel3->setObjectName(QStringLiteral("GradPanel3"));
    GradPanel3->setFixedHeight(45);
    style::styleButtonBar(*GradPanel3);
    outer->addWidget(GradPanel3);

    btnAddCategory = style::makeButton(GradPanel3, QStringLiteral("Add"), QImage(), 2, false);
    btnAddCategory->setObjectName(QStringLiteral("btnAddCategory"));
    btnAddCategory->setGeometry(8, 10, 75, 25);
    btnAddCategory->setToolTip(QStringLiteral("Add Backup"));
    btnDeleteCategory = style::makeButton(GradPanel3, QStringLiteral("Delete"), QImage(), 2, false);
    btnDeleteCategory->setObjectName(QStringLiteral("btnDeleteCategory"));
    btnDeleteCategory->setGeometry(144, 10, 75, 25);
    btnDeleteCategory->setToolTip(QStringLiteral("Delete Backup"));

    chkSelectAll = new TGradCheckBox(GradPanel3);
    chkSelectAll->setObjectName(QStringLiteral("chkSelectAll"));
    style::styleBarCheckBox(*chkSelectAll, QStringLiteral("Select All"));
    chkSelectAll->setGeometry(384, 14, style::checkBoxWidth(*chkSelectAll, 73), 17);
    chkIncremental = new TGradCheckBox(GradPanel3);
    chkIncremental->setObjectName(QStringLiteral("chkIncremental"));
    style::styleBarCheckBox(*chkIncremental, QStringLiteral("Incremental Backup"));
    chkIncremental->setGeometry(560, 14, style::checkBoxWidth(*chkIncremental, 121), 17);

    SpeedButton1 = new QToolButton(GradPanel3);
    SpeedButton1->setObjectName(QStringLiteral("SpeedButton1"));
    SpeedButton1->setText(QStringLiteral(".?."));
    SpeedButton1->setAutoRaise(true);
    SpeedButton1->setFocusPolicy(Qt::NoFocus);
    SpeedButton1->setFont(style::arialFont(13, true));
    SpeedButton1->setStyleSheet(
        QStringLiteral("QToolButton { color: white; background: transparent; border: none; }"
                       "QToolButton:hover { border: 1px solid rgba(255,255,255,150); border-radius: 3px; }"));
    SpeedButton1->setToolTip(QStringLiteral("Short Help Tutorial..."));
    SpeedButton1->setGeometry(808, 13, 20, 20);

    btnClose = style::makeButton(GradPanel3, QStringLiteral("Exit"), QImage(), 2, false);
    btnClose->setObjectName(QStringLiteral("btnClose"));
    btnClose->setGeometry(920, 10, 75, 25);
    setMinimumSize(minimumLayoutSize());

    connect(lstCategory, &TListBox::Click, this, &TfrmMain::lstCategoryClick);
    connect(lstCategory, &TListBox::DblClick, this, &TfrmMain::lstCategoryDblClick);
    connect(btnAddCategory, &TGradCustomControl::clicked, this, &TfrmMain::btnAddCategoryClick);
    connect(btnDeleteCategory, &TGradCustomControl::clicked, this, &TfrmMain::btnDeleteCategoryClick);
    connect(btnAddFolder, &TGradCustomControl::clicked, this, &TfrmMain::btnAddFolderClick);
    connect(btnAddFiles, &TGradCustomControl::clicked, this, &TfrmMain::btnAddFilesClick);
    connect(btnDelete, &TGradCustomControl::clicked, this, &TfrmMain::btnDeleteClick);
    connect(btnBackup, &TGradCustomControl::clicked, this, &TfrmMain::btnBackupClick);
    connect(btnClose, &TGradCustomControl::clicked, this, &TfrmMain::btnCloseClick);
    connect(chkSelectAll, &TGradCustomControl::clicked, this, &TfrmMain::chkSelectAllClick);
    connect(SpeedButton1, &QToolButton::clicked, this, &TfrmMain::SpeedButton1Click);
}

// --- Start, show, resize, close ------------------------------------------------------------

QSize TfrmMain::minimumLayoutSize() const
{
    // FormResize keeps Exit and the web address at fixed distances from the right edge; the
    // smallest window is the one where they still start right of everything else on their
    // bars, and where the lowest of the large buttons still shows whole.
    constexpr int kGap = 8;
    const int barEnd = std::max({chkSelectAll->geometry().right(), chkIncremental->geometry().right(),
                                 SpeedButton1->geometry().right(), btnDeleteCategory->geometry().right()}) +
                       1;
    const int titleEnd = Label2->geometry().right() + 1;
    const int width = std::max(barEnd + kGap + kCloseFromRight, titleEnd + kGap + kWebFromRight);
    const int height = GradPanel1->height() + GradPanel3->height() + btnBackup->geometry().bottom() + 1 +
                       GradPanel4->BorderWidth() + kGap;
    return {width, height};
}

void TfrmMain::FormCreate()
{
    try {
        m_catalog->open();
    } catch (const std::exception& error) {
        m_dialogs.error(fromStd(error.what()));
    }
    for (const std::string& error : m_catalog->openErrors())
        m_dialogs.error(fromStd(error));
    for (const std::string& notice : m_catalog->notices())
        m_dialogs.information(fromStd(notice));
}

void TfrmMain::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TfrmMain::FormShow()
{
    try {
        FillCategoryList();
        selectCategory(0);
    } catch (const std::exception& error) {
        m_dialogs.reportException(fromStd(error.what()));
    }
}

void TfrmMain::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    FormResize();
}

void TfrmMain::FormResize()
{
    // The outer width includes the frame a window manager adds; without one it is the
    // window's own width.
    const int outerWidth = frameGeometry().width();
    btnClose->move(outerWidth - kCloseFromRight, btnClose->y());
    Label1->move(outerWidth - kWebFromRight, Label1->y());
    chklstList->viewport()->update();
}

bool TfrmMain::closeQuery()
{
    if (!m_backupThread)
        return true;
    // Closing during a run cancels it; the window closes once the run has stopped.
    m_closeAfterRun = true;
    m_cancelFlag = true;
    if (m_progress)
        m_progress->btnCancelClick();
    return false;
}

void TfrmMain::closeEvent(QCloseEvent* event)
{
    if (m_closed) {
        event->accept();
        return;
    }
    event->ignore();
    if (m_fading)
        return;
    if (m_backupThread) {
        closeQuery();
        return;
    }
    fadeOutAndClose();
}

void TfrmMain::fadeOutAndClose()
{
    m_fading = true;
    const auto finish = [this] {
        m_closed = true;
        hide();
        setWindowOpacity(1.0);
        CloseTables();
        emit Closed();
    };
    // Platforms without window opacity (offscreen, minimal) get the same pause, unfaded.
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal")) {
        QTimer::singleShot(kFadeMilliseconds, this, finish);
        return;
    }
    auto* fade = new QPropertyAnimation(this, "windowOpacity", this);
    fade->setDuration(kFadeMilliseconds);
    fade->setStartValue(1.0);
    fade->setEndValue(0.0);
    connect(fade, &QPropertyAnimation::finished, this, [fade, finish] {
        fade->deleteLater();
        finish();
    });
    fade->start();
}

void TfrmMain::btnCloseClick()
{
    close();
}

void TfrmMain::CloseTables()
{
    if (m_tablesClosed)
        return;
    m_tablesClosed = true;
    using catalog::Catalog;
    // Each round writes what it can under the tables' lock and stops at the first file that
    // needs the user's word; the lock is let go before the question is asked.
    for (;;) {
        const Catalog::SaveResult result = m_catalog->save();
        switch (result.status) {
        case Catalog::SaveStatus::Saved:
            return;
        case Catalog::SaveStatus::ChangedOnDisk:
            // stowmere-cli may have changed the file while the window was open; replacing it
            // unasked would lose that change without a word.
            if (m_dialogs.confirm(fromStd(catalog::messages::changedElsewhereQuestion(result.file))))
                m_catalog->replaceChangedFile(result.file);
            else
                m_catalog->keepFileOnDisk(result.file);
            break;
        case Catalog::SaveStatus::Failed:
            if (!m_dialogs.confirm(
                    fromStd(catalog::messages::saveFailedQuestion(result.file, result.reason))))
                m_catalog->keepFileOnDisk(result.file);
            break;
        }
    }
}

void TfrmMain::pumpMessages()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

bool TfrmMain::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Label1) {
        QFont font = Label1->font();
        switch (event->type()) {
        case QEvent::Enter:
            font.setUnderline(true);
            Label1->setFont(font);
            break;
        case QEvent::Leave:
            font.setUnderline(false);
            Label1->setFont(font);
            break;
        case QEvent::MouseButtonRelease:
            Label1Click();
            return true;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TfrmMain::Label1Click()
{
    QDesktopServices::openUrl(QUrl(texts::webAddress()));
}

void TfrmMain::SpeedButton1Click()
{
    m_dialogs.information(kHelpText);
}

// --- Lists and tables ----------------------------------------------------------------------

bool TfrmMain::categoriesEmpty() const
{
    return m_catalog->sets().empty();
}

bool TfrmMain::changesAllowed()
{
    try {
        m_catalog->checkChangesAllowed();
        return true;
    } catch (const catalog::ChangesRefused& refusal) {
        m_dialogs.error(fromStd(refusal.what()));
        return false;
    }
}

// Paths go to the highlighted set; with no sets at all the command does nothing, and
// with sets but none highlighted the user is told to pick one.
bool TfrmMain::pathsCanBeAdded()
{
    if (!changesAllowed() || categoriesEmpty())
        return false;
    if (lstCategory->itemIndex() < 0) {
        m_dialogs.information(fromStd(catalog::messages::kSelectBackup));
        return false;
    }
    return true;
}

bool TfrmMain::pathsEmpty() const
{
    return !m_currentSet || m_catalog->paths(*m_currentSet).empty();
}

std::optional<catalog::BackupSet> TfrmMain::currentSet() const
{
    return m_currentSet ? m_catalog->findSet(*m_currentSet) : std::nullopt;
}

void TfrmMain::FillCategoryList()
{
    lstCategory->clear();
    m_categoryNos.clear();
    BulkUpdate bulk(*lstCategory);
    for (const catalog::BackupSet& set : m_catalog->sets()) {
        lstCategory->addItem(fromStd(set.description));
        m_categoryNos.push_back(set.number);
    }
}

void TfrmMain::FillPathList()
{
    chkSelectAll->SetChecked(false);
    chklstList->clear();
    m_pathNos.clear();
    if (m_currentSet) {
        BulkUpdate bulk(*chklstList);
        for (const catalog::PathEntry& path : m_catalog->paths(*m_currentSet)) {
            chklstList->addItem(fromStd(path.item));
            m_pathNos.push_back(path.number);
        }
    }
    chklstList->viewport()->repaint();
}

bool TfrmMain::LocateCategory()
{
    const int index = lstCategory->itemIndex();
    if (index < 0 || index >= static_cast<int>(m_categoryNos.size()) ||
        !m_catalog->findSet(m_categoryNos[static_cast<std::size_t>(index)])) {
        m_dialogs.error(fromStd(catalog::messages::kSetNotFound));
        return false;
    }
    m_currentSet = m_categoryNos[static_cast<std::size_t>(index)];
    return true;
}

bool TfrmMain::LocatePath()
{
    const int index = chklstList->currentRow();
    bool found = false;
    if (index >= 0 && index < static_cast<int>(m_pathNos.size()) && m_currentSet) {
        const std::int32_t number = m_pathNos[static_cast<std::size_t>(index)];
        for (const catalog::PathEntry& path : m_catalog->paths(*m_currentSet))
            found = found || path.number == number;
    }
    if (!found)
        m_dialogs.error(fromStd(catalog::messages::kPathNotFound));
    return found;
}

void TfrmMain::selectCategory(int index)
{
    if (index < 0 || index >= lstCategory->count()) {
        lstCategory->setItemIndex(-1);
        m_currentSet.reset();
        chklstList->clear();
        m_pathNos.clear();
        chkSelectAll->SetChecked(false);
        return;
    }
    lstCategory->setItemIndex(index);
    if (LocateCategory()) {
        FillPathList();
        if (chklstList->count() > 0)
            chklstList->setCurrentRow(0);
    }
}

int TfrmMain::indexOfCategory(std::optional<std::int32_t> categoryNo) const
{
    if (categoryNo) {
        for (std::size_t i = 0; i < m_categoryNos.size(); ++i) {
            if (m_categoryNos[i] == *categoryNo)
                return static_cast<int>(i);
        }
    }
    return 0;
}

void TfrmMain::lstCategoryClick()
{
    if (lstCategory->itemIndex() < 0)
        return;
    try {
        if (!LocateCategory())
            return;
        pumpMessages();
        FillPathList();
        if (chklstList->count() > 0)
            chklstList->setCurrentRow(0);
    } catch (const std::exception& error) {
        m_dialogs.reportException(fromStd(error.what()));
    }
}

void TfrmMain::lstCategoryDblClick()
{
    if (backupRunning())
        return;
    EditCategory();
}

void TfrmMain::EditCategory()
{
    if (categoriesEmpty() || lstCategory->itemIndex() < 0 || !m_currentSet) {
        m_dialogs.information(fromStd(catalog::messages::kSelectBackupToEdit));
        return;
    }
    if (!changesAllowed())
        return;
    const std::optional<std::int32_t> editedNo = m_currentSet;
    try {
        m_editor->setWindowTitle(QStringLiteral("Edit Backup"));
        m_catalog->beginEditSet(*editedNo);
        m_editor->exec();
        // A row left pending by the title-bar close is finished here, as any move would.
        m_catalog->finishEditedSet();
        WaitCursor refill;
        FillCategoryList();
        chklstList->clear();
        selectCategory(indexOfCategory(editedNo));
    } catch (const std::exception& error) {
        m_dialogs.error(fromStd(error.what()));
        m_catalog->cancelEditedSet();
    }
}

void TfrmMain::btnAddCategoryClick()
{
    if (!changesAllowed())
        return;
    try {
        m_editor->setWindowTitle(QStringLiteral("New Backup"));
        m_catalog->beginNewSet();
        m_editor->exec();
        const std::optional<std::int32_t> finished = m_catalog->finishEditedSet();
        const std::optional<std::int32_t> newNo = m_editor->savedSet() ? m_editor->savedSet() : finished;
        WaitCursor refill;
        FillCategoryList();
        chklstList->clear();
        selectCategory(indexOfCategory(newNo));
    } catch (const std::exception& error) {
        m_dialogs.error(fromStd(error.what()));
        m_catalog->cancelEditedSet();
    }
}

void TfrmMain::btnDeleteCategoryClick()
{
    if (categoriesEmpty() || lstCategory->itemIndex() < 0 || !m_currentSet)
        return;
    // Without its paths read, a set could be deleted while paths still belong to it.
    if (!changesAllowed())
        return;
    if (!pathsEmpty()) {
        m_dialogs.information(fromStd(catalog::messages::kDeletePathsFirst));
        return;
    }
    if (!m_dialogs.confirm(fromStd(catalog::messages::kConfirmDeleteSet)))
        return;
    try {
        m_catalog->deleteSet(*m_currentSet);
        FillCategoryList();
        selectCategory(0);
    } catch (const catalog::RuleRefusal& refusal) {
        m_dialogs.information(fromStd(refusal.what()));
    } catch (const std::exception& error) {
        m_dialogs.error(fromStd(error.what()));
    }
}

void TfrmMain::btnAddFolderClick()
{
    if (!pathsCanBeAdded())
        return;
    pumpMessages();
    const std::optional<QString> folder = m_dialogs.browseFolder(QString());
    if (!folder)
        return;
    try {
        pumpMessages();
        AddPath(*folder);
        FillPathList();
    } catch (const std::exception& error) {
        FillPathList();
        m_dialogs.error(fromStd(error.what()));
    }
}

void TfrmMain::btnAddFilesClick()
{
    if (!pathsCanBeAdded())
        return;
    pumpMessages();
    const QStringList files = m_dialogs.openFiles();
    if (files.isEmpty())
        return;
    WaitCursor cursor;
    try {
        pumpMessages();
        AddSelectedFiles(files);
        FillPathList();
    } catch (const std::exception& error) {
        FillPathList();
        cursor.release();
        m_dialogs.error(fromStd(error.what()));
    }
}

void TfrmMain::AddPath(const QString& path)
{
    if (!m_currentSet)
        throw catalog::RuleRefusal(catalog::messages::kSetNotFound);
    m_catalog->addPath(*m_currentSet, toStd(path));
}

void TfrmMain::AddSelectedFiles(const QStringList& files)
{
    for (const QString& file : files)
        AddPath(file);
}

void TfrmMain::btnDeleteClick()
{
    if (pathsEmpty())
        return;
    if (CountChecked() == 0) {
        m_dialogs.information(fromStd(catalog::messages::kSelectPathsToDelete));
        return;
    }
    if (!changesAllowed())
        return;
    if (!m_dialogs.confirm(fromStd(catalog::messages::kConfirmDeletePaths)))
        return;
    WaitCursor cursor;
    try {
        DeleteCheckedPaths();
        FillPathList();
    } catch (const std::exception& error) {
        cursor.release();
        m_dialogs.reportException(fromStd(error.what()));
    }
}

void TfrmMain::DeleteCheckedPaths()
{
    for (int i = 0; i < chklstList->count(); ++i) {
        if (!chklstList->checked(i))
            continue;
        try {
            chklstList->setCurrentRow(i);
            if (LocatePath())
                m_catalog->deletePath(m_pathNos[static_cast<std::size_t>(i)]);
        } catch (const std::exception& error) {
            m_dialogs.error(fromStd(error.what()));
        }
    }
}

int TfrmMain::CountChecked() const
{
    return chklstList->checkedCount();
}

void TfrmMain::chkSelectAllClick()
{
    if (pathsEmpty())
        return;
    const bool state = chkSelectAll->Checked();
    for (int i = 0; i < chklstList->count(); ++i)
        chklstList->setChecked(i, state);
}

// --- The backup run ------------------------------------------------------------------------

void TfrmMain::btnBackupClick()
{
    if (backupRunning())
        return;
    // Asked of the check list when the run reaches an item, so an item checked during the
    // run still joins it.
    catalog::RunRequest request;
    if (m_currentSet && m_catalog->findSet(*m_currentSet))
        request = m_catalog->runRequest(*m_currentSet, chkIncremental->Checked(), [this](std::size_t index) {
            return chklstList->checked(static_cast<int>(index));
        });
    const backup::BackupStartCheck check = request.startCheck();
    if (!check.information.empty()) {
        m_dialogs.information(fromStd(check.information));
        return;
    }
    if (!check.start)
        return;
    std::vector<std::string> checkedItems;
    for (int i = 0; i < chklstList->count(); ++i) {
        if (chklstList->checked(i))
            checkedItems.push_back(toStd(chklstList->itemText(i)));
    }
    if (const std::string overlap = backup::CheckItemsApart(request.settings().destination, checkedItems);
        !overlap.empty()) {
        m_dialogs.information(fromStd(overlap));
        return;
    }

    m_progress->prepareRun(CountChecked());

    m_cancelFlag = false;
    m_filesCopied = 0;
    m_backupThread = new TBackupThread(request.settings(), std::move(request.items), *this, m_cancelFlag);
    connect(m_backupThread, &QThread::finished, this, &TfrmMain::backupThreadFinished);
    setRunning(true);
    m_backupThread->start();
}

void TfrmMain::setRunning(bool running)
{
    // While a run reads the list, nothing may change the tables or refill the lists;
    // checking and unchecking items stays possible.
    for (QWidget* command :
         std::initializer_list<QWidget*>{btnAddCategory, btnDeleteCategory, btnAddFolder, btnAddFiles,
                                         btnDelete, chkSelectAll, btnBackup, lstCategory})
        command->setEnabled(!running);
}

void TfrmMain::backupThreadFinished()
{
    m_backupThread->wait();
    m_backupThread->deleteLater();
    m_backupThread = nullptr;
    setRunning(false);
    emit backupFinished();
    if (m_closeAfterRun) {
        m_closeAfterRun = false;
        close();
    }
}

bool TfrmMain::isItemChecked(std::size_t index)
{
    return runOnThreadOf(this, [this, index] { return chklstList->checked(static_cast<int>(index)); });
}

void TfrmMain::uncheckItem(std::size_t index)
{
    runOnThreadOf(this, [this, index] { chklstList->setChecked(static_cast<int>(index), false); });
}

void TfrmMain::fileCopied(std::uint64_t count)
{
    m_filesCopied = count;
    if (m_counterUpdatePending.exchange(true))
        return;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_counterUpdatePending = false;
            m_progress->setFilesCopied(static_cast<qint64>(m_filesCopied.load()));
        },
        Qt::QueuedConnection);
}

void TfrmMain::itemDone()
{
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_progress->itemDone();
            emit backupItemDone();
        },
        Qt::QueuedConnection);
}

void TfrmMain::showError(const std::string& text)
{
    runOnThreadOf(this, [this, message = fromStd(text)] { m_dialogs.error(message); });
}

void TfrmMain::showInformation(const std::string& text)
{
    runOnThreadOf(this, [this, message = fromStd(text)] { m_dialogs.information(message); });
}

void TfrmMain::closeProgress()
{
    runOnThreadOf(this, [this] {
        // Any counter update still queued ran before this call, so the figure is final.
        m_progress->finishRun();
    });
}

} // namespace stowmere::app
