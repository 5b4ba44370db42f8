// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/MainWindow.h"

#include "app/AppTexts.h"
#include "app/BackupWorker.h"
#include "app/CheckListBox.h"
#include "app/Dialogs.h"
#include "app/Glyphs.h"
#include "app/GuardedHandler.h"
#include "app/HistoryDialog.h"
#include "app/ListItemPainter.h"
#include "app/OptionsDialog.h"
#include "app/PreviewDialog.h"
#include "app/RestoreDialog.h"
#include "app/RestoreWorker.h"
#include "app/SetEditorDialog.h"
#include "app/StringConversion.h"
#include "app/Style.h"
#include "app/VerifyWorker.h"
#include "app/WaitCursor.h"
#include "backup/FailureReport.h"
#include "backup/SftpAccess.h"
#include "catalog/Catalog.h"
#include "catalog/Errors.h"
#include "catalog/Messages.h"
#include "catalog/RunHistory.h"
#include "catalog/RunStart.h"
#include "controls/GradientButton.h"
#include "controls/GradientCheckBox.h"
#include "controls/GradientPanel.h"
#include "placement/PlacementStore.h"
#include "progress/ProgressWindow.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPropertyAnimation>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include <sys/stat.h>

#include <algorithm>
#include <exception>

namespace stowmere::app {
namespace {

// Translated where it is shown: the translators are installed after static initialisation.
// Written with LF, which lupdate reads; shown with the CR LF of every message (withCrLf).
const char* const kHelpText = QT_TRANSLATE_NOOP(
    "MainWindow", "This is a short help tutorial.\n\n"
                  "- To backup, create a Backup Name, add files and folders to the list,\n"
                  "   then select by checking the files and folders that need to be backed-up,\n"
                  "   and then click the Backup button.\n\n"
                  "- The Incremental Backup checkbox lets you backup modified files only.\n\n"
                  "- The Add Folder button adds a new folder to the list for backup.\n\n"
                  "- The Add Files button adds new files to the list for backup.\n\n"
                  "- The Delete button is for deleting checked item(s).\n\n"
                  "- The Backup button copies all files and folders in the list\n"
                  "   to the Backup To Folder selected in Backup Information.\n\n"
                  "- The Tools button (or a right-click on a Backup or an item) offers\n"
                  "   Preview Backup, Backup History, Backup Options and Restore\n"
                  "   for the highlighted Backup.");

// The messages break their lines with CR LF; translated texts are written with LF alone.
QString withCrLf(QString text)
{
    return text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
}

QString joinLines(const std::vector<std::string>& lines)
{
    QStringList joined;
    for (const std::string& line : lines)
        joined << toQString(line);
    return joined.join(QStringLiteral("\r\n"));
}

const char* const kSetListHint = QT_TRANSLATE_NOOP("MainWindow", "Double-click to edit Backup Information");

constexpr int kFadeMilliseconds = 600;
// Where placeRightEdgeControls keeps Exit and the web address: their left edges this far from the
// window's right edge.
constexpr int kCloseFromRight = 100;
constexpr int kWebFromRight = 175;

// Ends a bulk update of a list on every exit path.
class BulkUpdate {
public:
    explicit BulkUpdate(ListBox& list) : m_list(list) { m_list.beginUpdate(); }
    ~BulkUpdate() { m_list.endUpdate(); }
    BulkUpdate(const BulkUpdate&) = delete;
    BulkUpdate& operator=(const BulkUpdate&) = delete;

private:
    ListBox& m_list;
};

// Marks a change of the set list's highlight made by the window itself, which then shows
// the set on its own terms.
class SelectingByProgram {
public:
    explicit SelectingByProgram(bool& flag) : m_flag(flag), m_before(flag) { m_flag = true; }
    ~SelectingByProgram() { m_flag = m_before; }
    SelectingByProgram(const SelectingByProgram&) = delete;
    SelectingByProgram& operator=(const SelectingByProgram&) = delete;

private:
    bool& m_flag;
    bool m_before;
};

void drawListItem(ListBox& list, int index, QPainter& painter, const QRect& rect, QStyle::State state)
{
    ListItemPainter::drawItem(painter, rect, list.itemText(index), state.testFlag(QStyle::State_Selected));
}

// The INI section the window's placement has always been kept in, whatever the class is
// called now: renaming the class must not lose a user's window position.
constexpr const char* kPlacementSection = "TfrmMain";

// The object names the window's widgets had in earlier versions, which may still be stored
// as the active control in a user's INI file, with the names they have now.
std::map<QString, QString> formerControlNames()
{
    return {
        {QStringLiteral("GradPanel1"), QStringLiteral("titlePanel")},
        {QStringLiteral("Label1"), QStringLiteral("webLink")},
        {QStringLiteral("Label2"), QStringLiteral("backupNameLabel")},
        {QStringLiteral("GradPanel2"), QStringLiteral("setPanel")},
        {QStringLiteral("lstCategory"), QStringLiteral("setList")},
        {QStringLiteral("GradPanel5"), QStringLiteral("pathPanel")},
        {QStringLiteral("chklstList"), QStringLiteral("pathList")},
        {QStringLiteral("GradPanel4"), QStringLiteral("commandPanel")},
        {QStringLiteral("btnAddFolder"), QStringLiteral("addFolderButton")},
        {QStringLiteral("btnAddFiles"), QStringLiteral("addFilesButton")},
        {QStringLiteral("btnDelete"), QStringLiteral("deletePathsButton")},
        {QStringLiteral("btnBackup"), QStringLiteral("backupButton")},
        {QStringLiteral("GradPanel3"), QStringLiteral("buttonBar")},
        {QStringLiteral("btnAddCategory"), QStringLiteral("addSetButton")},
        {QStringLiteral("btnDeleteCategory"), QStringLiteral("deleteSetButton")},
        {QStringLiteral("btnSetTools"), QStringLiteral("toolsButton")},
        {QStringLiteral("chkSelectAll"), QStringLiteral("selectAllBox")},
        {QStringLiteral("chkIncremental"), QStringLiteral("incrementalBox")},
        {QStringLiteral("SpeedButton1"), QStringLiteral("helpButton")},
        {QStringLiteral("btnClose"), QStringLiteral("exitButton")},
    };
}

} // namespace

MainWindow::MainWindow(Dialogs& dialogs, std::string dataFolder, QWidget* parent)
    : QWidget(parent), m_dialogs(dialogs), m_dataFolder(std::move(dataFolder)),
      m_catalog(std::make_unique<catalog::Catalog>(m_dataFolder))
{
    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(texts::mainCaption());
    createComponents();
    connectHandlers();
    m_placement = new placement::PlacementStore(this);
    m_placement->setIniSection(QString::fromLatin1(kPlacementSection));
    m_placement->setFormerControlNames(formerControlNames());
    m_placement->setCloseQueryHandler([this] { return closeQuery(); });
    m_placement->setErrorReport([this](const QString& message) { m_dialogs.reportException(message); });
    openTables();
    askAboutServers();
}

void MainWindow::askAboutServers()
{
    // A server is reached from a run's thread as well as from this one; the questions are
    // always asked here, the run waiting for the answer.
    const auto onWindowThread = [this](const auto& ask) {
        using Answer = decltype(ask());
        if (QThread::currentThread() == thread())
            return ask();
        Answer answer{};
        QMetaObject::invokeMethod(
            this, [&] { answer = ask(); }, Qt::BlockingQueuedConnection);
        return answer;
    };
    backup::SftpPrompts prompts;
    prompts.trustUnknownHost = [this, onWindowThread](const backup::SftpConnectFailure& failure) {
        const QString text = toQString(failure.message) +
                             tr("\n\nCompare the fingerprint with the one the server's owner gives "
                                "you. Trust this key and add it to ~/.ssh/known_hosts?");
        return onWindowThread([&] { return m_dialogs.confirmDefaultNo(text); });
    };
    prompts.passphrase =
        [this, onWindowThread](const backup::SftpConnectFailure& failure) -> std::optional<std::string> {
        const QString text = failure.keyFile.empty()
                                 ? tr("The passphrase was not accepted. Passphrase of the key:")
                                 : tr("Passphrase of the key %1:").arg(toQString(failure.keyFile));
        const std::optional<QString> secret = onWindowThread([&] { return m_dialogs.askSecret(text); });
        if (!secret)
            return std::nullopt;
        return toUtf8String(*secret);
    };
    backup::setSftpPrompts(std::move(prompts));
}

MainWindow::~MainWindow()
{
    // A run still going when the window is destroyed is stopped before the tables close.
    m_backupWorker.reset();
    m_restoreWorker.reset();
    m_verifyWorker.reset();
    backup::setSftpPrompts({});
    closeTables();
}

void MainWindow::setProgress(progress::ProgressWindow* progress)
{
    m_progress = progress;
    m_progress->setCancelFlag(&m_cancelFlag);
}

void MainWindow::createComponents()
{
    resize(1024, 600);
    setFont(style::sansFont(11));
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    m_titlePanel = new controls::GradientPanel(this);
    m_titlePanel->setObjectName(QStringLiteral("titlePanel"));
    m_titlePanel->setFixedHeight(45);
    style::styleTitlePanel(*m_titlePanel, QStringLiteral("Stowmere"));
    outer->addWidget(m_titlePanel);

    m_backupNameLabel = new QLabel(tr("Backup Name"), m_titlePanel);
    m_backupNameLabel->setObjectName(QStringLiteral("backupNameLabel"));
    m_backupNameLabel->setFont(style::sansFont(11, true));
    m_backupNameLabel->setStyleSheet(QStringLiteral("color: white; background: transparent;"));
    m_backupNameLabel->adjustSize();
    m_handPlaced.place(m_backupNameLabel, QRect(QPoint(56, 22), m_backupNameLabel->size()));

    m_webLink = new QLabel(texts::webCaption(), m_titlePanel);
    m_webLink->setObjectName(QStringLiteral("webLink"));
    m_webLink->setFont(style::sansFont(11));
    // A keyboard reaches the address too: a Tab stop whose focus shows as a dotted frame
    // (the transparent one keeps the text where it is), opened with Return or Space.
    m_webLink->setStyleSheet(
        QStringLiteral("QLabel { color: white; background: transparent; border: 1px solid "
                       "transparent; } QLabel:focus { border: 1px dotted white; }"));
    m_webLink->setFocusPolicy(Qt::StrongFocus);
    m_webLink->setCursor(Qt::PointingHandCursor);
    m_webLink->setToolTip(texts::webAddress());
    m_webLink->adjustSize();
    m_handPlaced.place(m_webLink, QRect(QPoint(856, 16), m_webLink->size()));
    m_webLink->installEventFilter(this);

    auto* middle = new QHBoxLayout;
    middle->setContentsMargins(0, 0, 0, 0);
    middle->setSpacing(0);
    outer->addLayout(middle, 1);

    m_setPanel = new controls::GradientPanel(this);
    m_setPanel->setObjectName(QStringLiteral("setPanel"));
    m_setPanel->setFixedWidth(233);
    style::styleWhitePanel(*m_setPanel, 5);
    m_setPanel->setFont(style::sansFont(13));
    middle->addWidget(m_setPanel);

    m_setList = new ListBox(m_setPanel);
    m_setList->setObjectName(QStringLiteral("setList"));
    m_setList->setToolTip(tr(kSetListHint));
    m_setList->setContextMenuPolicy(Qt::CustomContextMenu);
    m_setList->viewport()->installEventFilter(this);
    m_setList->setOnDrawItem(drawListItem);
    // The heading above the list is its name for a screen reader.
    m_setList->setAccessibleName(m_backupNameLabel->text());
    auto* categoryBox = new QVBoxLayout(m_setPanel);
    categoryBox->setContentsMargins(0, 0, 0, 0); // the panel's own margins inset the list
    categoryBox->addWidget(m_setList);

    m_pathPanel = new controls::GradientPanel(this);
    m_pathPanel->setObjectName(QStringLiteral("pathPanel"));
    style::styleWhitePanel(*m_pathPanel, 5);
    m_pathPanel->setFontColor(controls::Color::rgb(0, 0, 206));
    middle->addWidget(m_pathPanel, 1);

    m_pathList = new CheckListBox(m_pathPanel);
    m_pathList->setObjectName(QStringLiteral("pathList"));
    m_pathList->setFont(style::sansFont(13));
    m_pathList->setOnDrawItem(drawListItem);
    m_pathList->setContextMenuPolicy(Qt::CustomContextMenu);
    m_pathList->setAccessibleName(tr("Files and Folders"));
    auto* pathBox = new QVBoxLayout(m_pathPanel);
    pathBox->setContentsMargins(0, 0, 0, 0);
    pathBox->addWidget(m_pathList);

    m_commandPanel = new controls::GradientPanel(this);
    m_commandPanel->setObjectName(QStringLiteral("commandPanel"));
    m_commandPanel->setFixedWidth(208);
    style::styleWhitePanel(*m_commandPanel, 5);
    middle->addWidget(m_commandPanel);

    m_addFolderButton = style::makeButton(m_commandPanel, tr("Add &Folder"), Glyphs::addFolder(), 12, true);
    m_addFolderButton->setObjectName(QStringLiteral("addFolderButton"));
    m_addFilesButton = style::makeButton(m_commandPanel, tr("Add F&iles"), Glyphs::addFiles(), 12, true);
    m_addFilesButton->setObjectName(QStringLiteral("addFilesButton"));
    m_deletePathsButton = style::makeButton(m_commandPanel, tr("&Delete"), Glyphs::deleteItems(), 15, true);
    m_deletePathsButton->setObjectName(QStringLiteral("deletePathsButton"));
    m_backupButton = style::makeButton(m_commandPanel, tr("&Backup"), Glyphs::backup(), 10, true);
    m_backupButton->setObjectName(QStringLiteral("backupButton"));
    // The large buttons share one width, the designed one or what the longest caption
    // needs; the panel widens with them when they no longer fit it.
    constexpr int kCommandWidth = 126;
    int commandWidth = kCommandWidth;
    for (const controls::GradientButton* button :
         {m_addFolderButton, m_addFilesButton, m_deletePathsButton, m_backupButton})
        commandWidth = std::max(commandWidth, style::buttonWidth(*button, kCommandWidth));
    const int commandLeft = std::max(16, 38 - (commandWidth - kCommandWidth) / 2);
    m_commandPanel->setFixedWidth(std::max(208, 2 * commandLeft + commandWidth));
    m_handPlaced.place(m_addFolderButton, {commandLeft, 34, commandWidth, 55});
    m_handPlaced.place(m_addFilesButton, {commandLeft, 146, commandWidth, 55});
    m_handPlaced.place(m_deletePathsButton, {commandLeft, 258, commandWidth, 55});
    m_handPlaced.place(m_backupButton, {commandLeft, 378, commandWidth, 55});

    m_buttonBar = new controls::GradientPanel(this);
    m_buttonBar->setObjectName(QStringLiteral("buttonBar"));
    m_buttonBar->setFixedHeight(45);
    style::styleButtonBar(*m_buttonBar);
    outer->addWidget(m_buttonBar);

    // The bar's controls keep their designed places while their captions fit; a longer
    // caption (another language) pushes the ones right of it along.
    int barEnd = 0;
    const auto placeOnBar = [this, &barEnd](QWidget* control, int designedLeft, int top, int width,
                                            int height) {
        constexpr int kBarGap = 8;
        const int left = std::max(designedLeft, barEnd + kBarGap);
        m_handPlaced.place(control, {left, top, width, height});
        barEnd = left + width;
    };
    m_addSetButton = style::makeButton(m_buttonBar, tr("&Add"), QImage(), 2, false);
    m_addSetButton->setObjectName(QStringLiteral("addSetButton"));
    placeOnBar(m_addSetButton, 8, 10, style::buttonWidth(*m_addSetButton, 75), 25);
    m_addSetButton->setToolTip(tr("Add Backup"));
    m_deleteSetButton = style::makeButton(m_buttonBar, tr("D&elete"), QImage(), 2, false);
    m_deleteSetButton->setObjectName(QStringLiteral("deleteSetButton"));
    placeOnBar(m_deleteSetButton, 144, 10, style::buttonWidth(*m_deleteSetButton, 75), 25);
    m_deleteSetButton->setToolTip(tr("Delete Backup"));
    // The set's commands beyond adding and deleting, on a button of their own so they can be
    // found without knowing the lists' menus.
    m_toolsButton = style::makeButton(m_buttonBar, tr("&Tools \u25BE"), QImage(), 2, false);
    m_toolsButton->setObjectName(QStringLiteral("toolsButton"));
    placeOnBar(m_toolsButton, 264, 10, style::buttonWidth(*m_toolsButton, 90), 25);
    m_toolsButton->setToolTip(tr("Preview, history, options and restore of the highlighted Backup"));
    // The triangle only shows that a menu opens; it is not part of the spoken name.
    m_toolsButton->setAccessibleName(tr("Tools"));

    m_selectAllBox = new controls::GradientCheckBox(m_buttonBar);
    m_selectAllBox->setObjectName(QStringLiteral("selectAllBox"));
    style::styleBarCheckBox(*m_selectAllBox, tr("&Select All"));
    placeOnBar(m_selectAllBox, 384, 14, style::checkBoxWidth(*m_selectAllBox, 73), 17);
    m_incrementalBox = new controls::GradientCheckBox(m_buttonBar);
    m_incrementalBox->setObjectName(QStringLiteral("incrementalBox"));
    style::styleBarCheckBox(*m_incrementalBox, tr("I&ncremental Backup"));
    placeOnBar(m_incrementalBox, 560, 14, style::checkBoxWidth(*m_incrementalBox, 121), 17);

    m_helpButton = new QToolButton(m_buttonBar);
    m_helpButton->setObjectName(QStringLiteral("helpButton"));
    m_helpButton->setText(QStringLiteral(".?."));
    m_helpButton->setAutoRaise(true);
    m_helpButton->setFocusPolicy(Qt::StrongFocus);
    m_helpButton->setFont(style::arialFont(13, true));
    m_helpButton->setStyleSheet(
        QStringLiteral("QToolButton { color: white; background: transparent; border: none; }"
                       "QToolButton:hover { border: 1px solid rgba(255,255,255,150); border-radius: 3px; }"
                       "QToolButton:focus { border: 1px dotted white; }"));
    m_helpButton->setToolTip(tr("Short Help Tutorial..."));
    // ".?." says nothing when read aloud; the tooltip says what the button does.
    m_helpButton->setAccessibleName(m_helpButton->toolTip());
    placeOnBar(m_helpButton, 808, 13, 20, 20);

    m_exitButton = style::makeButton(m_buttonBar, tr("E&xit"), QImage(), 2, false);
    m_exitButton->setObjectName(QStringLiteral("exitButton"));
    m_handPlaced.place(m_exitButton, {920, 10, style::buttonWidth(*m_exitButton, 75), 25});
    // The keyboard goes through the window as the eye reads it: the two lists, the
    // commands beside them, then the bar from left to right; last the web address.
    const QList<QWidget*> tabOrder{m_setList,           m_pathList,     m_addFolderButton, m_addFilesButton,
                                   m_deletePathsButton, m_backupButton, m_addSetButton,    m_deleteSetButton,
                                   m_toolsButton,       m_selectAllBox, m_incrementalBox,  m_helpButton,
                                   m_exitButton,        m_webLink};
    for (qsizetype i = 1; i < tabOrder.size(); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);
    // The keyboard starts at the set list, whatever else the focus chain holds before it.
    m_setList->setFocus();
    setMinimumSize(minimumLayoutSize());

    // The two lists share their entries: each acts on the highlighted set and its checked
    // items, whichever list it was opened on.
    m_previewAction = new QAction(tr("&Preview Backup..."), this);
    m_previewAction->setObjectName(QStringLiteral("previewAction"));
    m_historyAction = new QAction(tr("Backup &History..."), this);
    m_historyAction->setObjectName(QStringLiteral("historyAction"));
    m_optionsAction = new QAction(tr("Backup &Options..."), this);
    m_optionsAction->setObjectName(QStringLiteral("optionsAction"));
    m_restoreAction = new QAction(tr("&Restore..."), this);
    m_restoreAction->setObjectName(QStringLiteral("restoreAction"));
    m_verifyAction = new QAction(tr("&Verify Backup..."), this);
    m_verifyAction->setObjectName(QStringLiteral("verifyAction"));
    m_setMenu = new QMenu(this);
    m_setMenu->setObjectName(QStringLiteral("setMenu"));
    m_setMenu->addAction(m_previewAction);
    m_setMenu->addAction(m_historyAction);
    m_setMenu->addAction(m_verifyAction);
    m_setMenu->addSeparator();
    m_setMenu->addAction(m_optionsAction);
    m_pathMenu = new QMenu(this);
    m_pathMenu->setObjectName(QStringLiteral("pathMenu"));
    m_pathMenu->addAction(m_previewAction);
    m_pathMenu->addAction(m_historyAction);
    m_pathMenu->addSeparator();
    m_pathMenu->addAction(m_restoreAction);
    m_toolsMenu = new QMenu(this);
    m_toolsMenu->setObjectName(QStringLiteral("toolsMenu"));
    m_toolsMenu->addAction(m_previewAction);
    m_toolsMenu->addAction(m_historyAction);
    m_toolsMenu->addAction(m_verifyAction);
    m_toolsMenu->addSeparator();
    m_toolsMenu->addAction(m_optionsAction);
    m_toolsMenu->addAction(m_restoreAction);
}

void MainWindow::connectHandlers()
{
    connect(m_setList, &ListBox::itemPicked, this, &MainWindow::showClickedSet);
    // Whatever highlights a set (a left or right click, a key, the program) makes it the
    // current one, before any menu opens or command runs.
    connect(m_setList, &QListWidget::itemSelectionChanged, this, &MainWindow::highlightChanged);
    connect(m_setList, &ListBox::listDoubleClicked, this, &MainWindow::editClickedSet);
    connect(m_setList, &ListBox::returnPressed, this, &MainWindow::editClickedSet);
    connect(m_addSetButton, &controls::GradientControl::clicked, this, &MainWindow::addSet);
    connect(m_deleteSetButton, &controls::GradientControl::clicked, this, &MainWindow::deleteSet);
    connect(m_addFolderButton, &controls::GradientControl::clicked, this, &MainWindow::addFolder);
    connect(m_addFilesButton, &controls::GradientControl::clicked, this, &MainWindow::addFiles);
    connect(m_deletePathsButton, &controls::GradientControl::clicked, this, &MainWindow::deleteCheckedItems);
    connect(m_backupButton, &controls::GradientControl::clicked, this, &MainWindow::startBackup);
    connect(m_exitButton, &controls::GradientControl::clicked, this, &MainWindow::exitProgram);
    connect(m_toolsButton, &controls::GradientControl::clicked, this, &MainWindow::showToolsMenu);
    connect(m_selectAllBox, &controls::GradientControl::clicked, this, &MainWindow::checkAllItems);
    connect(m_helpButton, &QToolButton::clicked, this, &MainWindow::showHelp);
    connect(m_setList, &QWidget::customContextMenuRequested, this, &MainWindow::showSetMenu);
    connect(m_pathList, &QWidget::customContextMenuRequested, this, &MainWindow::showPathMenu);
    connect(m_previewAction, &QAction::triggered, this, &MainWindow::previewBackup);
    connect(m_historyAction, &QAction::triggered, this, &MainWindow::showHistory);
    connect(m_optionsAction, &QAction::triggered, this, &MainWindow::editOptions);
    connect(m_restoreAction, &QAction::triggered, this, &MainWindow::restoreFiles);
    connect(m_verifyAction, &QAction::triggered, this, &MainWindow::verifyBackup);
}

// --- Start, show, resize, close ------------------------------------------------------------

QSize MainWindow::minimumLayoutSize() const
{
    // placeRightEdgeControls keeps Exit and the web address at fixed distances from the right edge; the
    // smallest window is the one where they still start right of everything else on their
    // bars, and where the lowest of the large buttons still shows whole.
    constexpr int kGap = 8;
    const auto end = [this](const QWidget* control) { return m_handPlaced.logical(control).right() + 1; };
    const int barEnd = std::max({end(m_selectAllBox), end(m_incrementalBox), end(m_helpButton),
                                 end(m_deleteSetButton), end(m_toolsButton)});
    const int titleEnd = end(m_backupNameLabel);
    const int width = std::max(barEnd + kGap + closeFromRight(), titleEnd + kGap + webFromRight());
    const int height = m_titlePanel->height() + m_buttonBar->height() +
                       m_handPlaced.logical(m_backupButton).bottom() + 1 + m_commandPanel->borderWidth() +
                       kGap;
    return {width, height};
}

void MainWindow::openTables()
{
    guarded(m_dialogs, [this] { m_catalog->open(); });
    for (const std::string& error : m_catalog->openErrors())
        m_dialogs.error(toQString(error));
    for (const std::string& notice : m_catalog->notices())
        m_dialogs.information(toQString(notice));
}

void MainWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        showFirstSet();
}

void MainWindow::showFirstSet()
{
    guarded(
        m_dialogs,
        [this] {
            fillSetList();
            selectSet(0);
        },
        OnFailure().showIn(MessageKind::Application));
}

void MainWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    placeRightEdgeControls();
}

void MainWindow::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::LayoutDirectionChange)
        m_handPlaced.apply();
}

int MainWindow::closeFromRight() const
{
    // A caption longer than the designed button keeps a gap to the edge all the same.
    return std::max(kCloseFromRight, m_exitButton->width() + 8);
}

int MainWindow::webFromRight() const
{
    return std::max(kWebFromRight, m_webLink->width() + 8);
}

void MainWindow::placeRightEdgeControls()
{
    // The outer width includes the frame a window manager adds; without one it is the
    // window's own width.
    const int outerWidth = frameGeometry().width();
    m_handPlaced.moveLeft(m_exitButton, outerWidth - closeFromRight());
    m_handPlaced.moveLeft(m_webLink, outerWidth - webFromRight());
    // The bars' widths follow the window's: a right-to-left window mirrors within them anew.
    m_handPlaced.apply();
    m_pathList->viewport()->update();
}

bool MainWindow::closeQuery()
{
    if (!m_backupWorker)
        return true;
    // Closing during a run cancels it; the window closes once the run has stopped.
    m_closeAfterRun = true;
    m_cancelFlag = true;
    if (m_progress)
        m_progress->cancelRun();
    return false;
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (m_closed) {
        event->accept();
        return;
    }
    event->ignore();
    if (m_fading)
        return;
    if (m_backupWorker) {
        closeQuery();
        return;
    }
    fadeOutAndClose();
}

void MainWindow::fadeOutAndClose()
{
    m_fading = true;
    const auto finish = [this] {
        m_closed = true;
        hide();
        setWindowOpacity(1.0);
        closeTables();
        emit closed();
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

void MainWindow::exitProgram()
{
    close();
}

void MainWindow::closeTables()
{
    if (m_tablesClosed)
        return;
    m_tablesClosed = true;
    saveTables(true);
}

void MainWindow::saveTables(bool askUser)
{
    using catalog::Catalog;
    const Catalog::Question question = [this](const std::string& text) {
        return m_dialogs.confirm(toQString(text));
    };
    // Each round writes what it can under the tables' lock; the lock is let go before a
    // failure is offered again.
    for (;;) {
        Catalog::SaveResult result = m_catalog->save(askUser ? question : Catalog::Question());
        for (const auto& [before, after] : result.renumbered) {
            if (m_currentSet == before)
                m_currentSet = after;
            if (m_runSet.number == before)
                m_runSet.number = after;
        }
        if (result.merged && !m_tablesClosed) {
            const std::optional<std::int32_t> current = m_currentSet;
            fillSetList();
            selectSet(indexOfSet(current));
        }
        if (askUser && result.merged && !result.notes.empty())
            m_dialogs.information(joinLines(result.notes));
        if (result.status == Catalog::SaveStatus::Saved)
            return;
        // Without anyone to ask, the old file stays as it was: it is never left half written.
        if (!askUser ||
            !m_dialogs.confirm(toQString(catalog::messages::saveFailedQuestion(result.file, result.reason))))
            m_catalog->keepFileOnDisk(result.file);
    }
}

void MainWindow::endSession()
{
    if (m_sessionEnded)
        return;
    m_sessionEnded = true;
    // A run is stopped as Cancel stops it, and recorded as cancelled.
    if (m_backupWorker) {
        m_closeAfterRun = false;
        m_backupWorker->stop();
        backupThreadFinished();
    }
    m_restoreWorker.reset();
    // A verification is stopped and recorded as cancelled, without a box nobody would see.
    if (m_verifyWorker) {
        m_verifyWorker->stop();
        recordVerification(m_verifyWorker->result());
        m_verifyWorker.reset();
    }
    if (!m_tablesClosed) {
        m_tablesClosed = true;
        saveTables(false);
    }
    m_closed = true;
    hide();
    emit closed();
}

void MainWindow::commitSession()
{
    // The session may still go on: the window stays as it is. A run reads the lists, and
    // the editor may be about to change a set; either way the end of the session saves all.
    if (m_tablesClosed || backupRunning() || (m_editor && m_editor->isVisible()))
        return;
    saveTables(false);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    // A run from stowmere-cli may have ended since the tooltips were set.
    if (watched == m_setList->viewport() && event->type() == QEvent::ToolTip && reloadLastBackups())
        updateSetTooltips();
    if (watched == m_webLink) {
        QFont font = m_webLink->font();
        switch (event->type()) {
        case QEvent::Enter:
            font.setUnderline(true);
            m_webLink->setFont(font);
            break;
        case QEvent::Leave:
            font.setUnderline(false);
            m_webLink->setFont(font);
            break;
        case QEvent::MouseButtonRelease:
            openWebSite();
            return true;
        case QEvent::KeyPress: {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) {
                openWebSite();
                return true;
            }
            break;
        }
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void MainWindow::openWebSite()
{
    QDesktopServices::openUrl(QUrl(texts::webAddress()));
}

void MainWindow::showHelp()
{
    m_dialogs.information(withCrLf(tr(kHelpText)));
}

// --- Lists and tables ----------------------------------------------------------------------

bool MainWindow::setsEmpty() const
{
    return m_catalog->sets().empty();
}

bool MainWindow::changesAllowed()
{
    return guarded(m_dialogs, [this] { m_catalog->checkChangesAllowed(); });
}

// Paths go to the highlighted set; with no sets at all the command does nothing, and
// with sets but none highlighted the user is told to pick one.
bool MainWindow::pathsCanBeAdded()
{
    if (!changesAllowed() || setsEmpty())
        return false;
    if (m_setList->itemIndex() < 0) {
        m_dialogs.information(toQString(catalog::messages::kSelectBackup));
        return false;
    }
    return true;
}

bool MainWindow::pathsEmpty() const
{
    return !m_currentSet || m_catalog->paths(*m_currentSet).empty();
}

std::optional<catalog::BackupSet> MainWindow::currentSet() const
{
    return m_currentSet ? m_catalog->findSet(*m_currentSet) : std::nullopt;
}

void MainWindow::fillSetList()
{
    const SelectingByProgram selecting(m_selectingByProgram);
    m_setList->clear();
    m_categoryNos.clear();
    BulkUpdate bulk(*m_setList);
    for (const catalog::BackupSet& set : m_catalog->sets()) {
        m_setList->addItem(toQString(set.description));
        m_categoryNos.push_back(set.number);
    }
    // The sets may be others than at the last read: a set's last backup is its own.
    m_historyStamp = {-1, -1, -1, -1};
    reloadLastBackups();
    updateSetTooltips();
}

void MainWindow::fillPathList()
{
    m_selectAllBox->setChecked(false);
    m_pathList->clear();
    m_pathNos.clear();
    if (m_currentSet) {
        BulkUpdate bulk(*m_pathList);
        for (const catalog::PathEntry& path : m_catalog->paths(*m_currentSet)) {
            m_pathList->addItem(toQString(path.item));
            m_pathNos.push_back(path.number);
        }
    }
    m_pathList->viewport()->repaint();
}

bool MainWindow::locateSet()
{
    const int index = m_setList->itemIndex();
    if (index < 0 || index >= static_cast<int>(m_categoryNos.size()) ||
        !m_catalog->findSet(m_categoryNos[static_cast<std::size_t>(index)])) {
        m_dialogs.error(toQString(catalog::messages::kSetNotFound));
        return false;
    }
    m_currentSet = m_categoryNos[static_cast<std::size_t>(index)];
    return true;
}

bool MainWindow::locatePath()
{
    const int index = m_pathList->currentRow();
    bool found = false;
    if (index >= 0 && index < static_cast<int>(m_pathNos.size()) && m_currentSet) {
        const std::int32_t number = m_pathNos[static_cast<std::size_t>(index)];
        for (const catalog::PathEntry& path : m_catalog->paths(*m_currentSet))
            found = found || path.number == number;
    }
    if (!found)
        m_dialogs.error(toQString(catalog::messages::kPathNotFound));
    return found;
}

void MainWindow::selectSet(int index)
{
    {
        const SelectingByProgram selecting(m_selectingByProgram);
        m_setList->setItemIndex(index);
    }
    showHighlightedSet();
}

void MainWindow::showHighlightedSet()
{
    if (m_setList->itemIndex() < 0) {
        m_currentSet.reset();
        m_pathList->clear();
        m_pathNos.clear();
        m_selectAllBox->setChecked(false);
        return;
    }
    if (locateSet()) {
        fillPathList();
        if (m_pathList->count() > 0)
            m_pathList->setCurrentRow(0);
    }
}

void MainWindow::highlightChanged()
{
    if (m_selectingByProgram)
        return;
    guarded(
        m_dialogs, [this] { showHighlightedSet(); }, OnFailure().showIn(MessageKind::Application));
}

int MainWindow::indexOfSet(std::optional<std::int32_t> categoryNo) const
{
    if (categoryNo) {
        for (std::size_t i = 0; i < m_categoryNos.size(); ++i) {
            if (m_categoryNos[i] == *categoryNo)
                return static_cast<int>(i);
        }
    }
    return 0;
}

void MainWindow::showClickedSet()
{
    const int index = m_setList->itemIndex();
    if (index < 0)
        return;
    // The press that highlighted the item has shown its set already.
    if (index < static_cast<int>(m_categoryNos.size()) &&
        m_currentSet == m_categoryNos[static_cast<std::size_t>(index)])
        return;
    guarded(
        m_dialogs, [this] { showHighlightedSet(); }, OnFailure().showIn(MessageKind::Application));
}

void MainWindow::editClickedSet()
{
    if (backupRunning())
        return;
    editSet();
}

void MainWindow::editSet()
{
    if (setsEmpty() || m_setList->itemIndex() < 0 || !m_currentSet) {
        m_dialogs.information(toQString(catalog::messages::kSelectBackupToEdit));
        return;
    }
    if (!changesAllowed())
        return;
    const std::optional<std::int32_t> editedNo = m_currentSet;
    guarded(m_dialogs, [&] {
        const std::optional<catalog::BackupSet> set = m_catalog->findSet(*editedNo);
        if (!set)
            throw catalog::RuleRefusal(catalog::messages::kSetNotFound);
        m_editor->setWindowTitle(tr("Edit Backup"));
        m_editor->startEditSet(*set);
        m_editor->exec();
        m_editor->finish();
        WaitCursor refill;
        fillSetList();
        m_pathList->clear();
        selectSet(indexOfSet(editedNo));
    });
}

void MainWindow::addSet()
{
    if (!changesAllowed())
        return;
    guarded(m_dialogs, [this] {
        m_editor->setWindowTitle(tr("New Backup"));
        m_editor->startNewSet();
        m_editor->exec();
        const std::optional<std::int32_t> newNo = m_editor->finish();
        WaitCursor refill;
        fillSetList();
        m_pathList->clear();
        selectSet(indexOfSet(newNo));
    });
}

void MainWindow::deleteSet()
{
    if (setsEmpty() || m_setList->itemIndex() < 0 || !m_currentSet)
        return;
    // Without its paths read, a set could be deleted while paths still belong to it.
    if (!changesAllowed())
        return;
    if (!pathsEmpty()) {
        m_dialogs.information(toQString(catalog::messages::kDeletePathsFirst));
        return;
    }
    if (!m_dialogs.confirm(toQString(catalog::messages::kConfirmDeleteSet)))
        return;
    guarded(
        m_dialogs,
        [this] {
            m_catalog->deleteSet(*m_currentSet);
            fillSetList();
            selectSet(0);
        },
        OnFailure().refusalAsInformation());
}

void MainWindow::addFolder()
{
    if (!pathsCanBeAdded())
        return;
    const std::optional<QString> folder = m_dialogs.browseFolder(QString());
    if (!folder)
        return;
    guarded(
        m_dialogs,
        [&] {
            addPath(*folder);
            fillPathList();
        },
        OnFailure().recover([this](const std::exception&) { fillPathList(); }));
}

void MainWindow::addFiles()
{
    if (!pathsCanBeAdded())
        return;
    const QStringList files = m_dialogs.openFiles();
    if (files.isEmpty())
        return;
    WaitCursor cursor;
    guarded(
        m_dialogs,
        [&] {
            addSelectedFiles(files);
            fillPathList();
        },
        OnFailure().recover([&](const std::exception&) {
            // Files added before the failing one stay, and the list shows them.
            cursor.release();
            fillPathList();
        }));
}

void MainWindow::addPath(const QString& path)
{
    if (!m_currentSet)
        throw catalog::RuleRefusal(catalog::messages::kSetNotFound);
    m_catalog->addPath(*m_currentSet, toUtf8String(path));
}

void MainWindow::addSelectedFiles(const QStringList& files)
{
    for (const QString& file : files)
        addPath(file);
}

void MainWindow::deleteCheckedItems()
{
    if (pathsEmpty())
        return;
    if (countChecked() == 0) {
        m_dialogs.information(toQString(catalog::messages::kSelectPathsToDelete));
        return;
    }
    if (!changesAllowed())
        return;
    if (!m_dialogs.confirm(toQString(catalog::messages::kConfirmDeletePaths)))
        return;
    WaitCursor cursor;
    guarded(
        m_dialogs,
        [this] {
            deleteCheckedPaths();
            fillPathList();
        },
        OnFailure().showIn(MessageKind::Application).recover([&](const std::exception&) {
            cursor.release();
        }));
}

void MainWindow::deleteCheckedPaths()
{
    for (int i = 0; i < m_pathList->count(); ++i) {
        if (!m_pathList->checked(i))
            continue;
        // A path that cannot be deleted is reported and the others are still deleted.
        guarded(m_dialogs, [this, i] {
            m_pathList->setCurrentRow(i);
            if (locatePath())
                m_catalog->deletePath(m_pathNos[static_cast<std::size_t>(i)]);
        });
    }
}

int MainWindow::countChecked() const
{
    return m_pathList->checkedCount();
}

void MainWindow::checkAllItems()
{
    if (pathsEmpty())
        return;
    const bool state = m_selectAllBox->isChecked();
    for (int i = 0; i < m_pathList->count(); ++i)
        m_pathList->setChecked(i, state);
}

// --- The backup run ------------------------------------------------------------------------

void MainWindow::startBackup()
{
    if (backupRunning())
        return;
    const std::optional<catalog::BackupSet> set = currentSet();
    if (!set) {
        // Without a set there is no Backup To Folder, and the first check says so.
        if (const std::string text = catalog::RunRequest{}.startCheck().information; !text.empty())
            m_dialogs.information(toQString(text));
        return;
    }
    // Asked of the check list when the run reaches an item, so an item checked during the
    // run still joins it.
    const catalog::RunRequest request =
        m_catalog->runRequest(set->number, m_incrementalBox->isChecked(), [this](std::size_t index) {
            return m_pathList->checked(static_cast<int>(index));
        });
    const auto start = catalog::RunRecord::Clock::now();
    const catalog::RunStart decision = catalog::startRun(request);
    // A run refused before it starts is a run of the set all the same.
    const auto refuse = [&](const std::string& reason) {
        recordRun(decision.refusedRecord(m_catalog->dataFolder(), reason, start, "stowmere"));
    };
    switch (decision.verdict) {
    case catalog::RunStart::Verdict::Refused:
        refuse(decision.refusal);
        if (decision.failure)
            m_dialogs.error(toQString(decision.refusal));
        else if (!decision.refusal.empty())
            m_dialogs.information(toQString(decision.refusal));
        return;
    case catalog::RunStart::Verdict::AskAboutDrive:
        // The guard exists for the drive that is not plugged in: Return must not copy onto
        // the disk below its mount point.
        if (!m_dialogs.confirmDefaultNo(toQString(decision.drive.question))) {
            refuse(decision.drive.question);
            return;
        }
        break;
    case catalog::RunStart::Verdict::Go:
        break;
    }

    m_progress->prepareRun(countChecked());
    m_progressTitle.reset();
    m_progress->setWindowTitle(m_progressTitle.title());

    m_runSet = *set;
    m_runSettings = decision.settings;
    // Counted first, so the progress window can tell the time left and a run that cannot
    // fit is asked about before anything is written.
    m_runSettings.countFirst = true;
    m_runStart = start;
    m_runDrive = decision.drive;
    m_cancelFlag = false;
    backup::BackupObserver& observer = *this;
    m_backupWorker =
        std::make_unique<BackupWorker>(m_runSettings, request.items, observer, this, m_cancelFlag);
    connect(&m_backupWorker->thread(), &WorkerThread::finished, this, &MainWindow::backupThreadFinished);
    setRunning(true);
    m_backupWorker->start();
}

void MainWindow::setRunning(bool running)
{
    // While a run reads the list, nothing may change the tables or refill the lists;
    // checking and unchecking items stays possible.
    if (running)
        m_focusBeforeRun = focusWidget();
    for (QWidget* command : std::initializer_list<QWidget*>{
             m_addSetButton, m_deleteSetButton, m_addFolderButton, m_addFilesButton, m_deletePathsButton,
             m_selectAllBox, m_backupButton, m_setList, m_toolsButton})
        command->setEnabled(!running);
    // Disabling the focused command moved the keyboard on; after the run it comes back to
    // where the user left it (Backup, most often).
    if (!running && m_focusBeforeRun && m_focusBeforeRun->isEnabled() && m_focusBeforeRun->isVisible())
        m_focusBeforeRun->setFocus(Qt::OtherFocusReason);
    updateMenuActions();
}

void MainWindow::updateMenuActions()
{
    for (QAction* action :
         {m_previewAction, m_historyAction, m_optionsAction, m_restoreAction, m_verifyAction})
        action->setEnabled(!backupRunning());
    m_restoreAction->setEnabled(!backupRunning() && m_pathList->currentRow() >= 0);
}

void MainWindow::recordRun(const catalog::RunRecord& record)
{
    const std::string failure = catalog::RunHistory(catalog::RunHistory::defaultFile()).append(record);
    if (!failure.empty() && !m_historyFailureShown) {
        m_historyFailureShown = true;
        m_dialogs.error(toQString(failure) +
                        withCrLf(tr("\n\nThe backup itself is not affected; its runs are not recorded "
                                    "until the history can be written.")));
    }
    if (failure.empty() && reloadLastBackups())
        updateSetTooltips();
}

bool MainWindow::reloadLastBackups()
{
    const std::string file = catalog::RunHistory::defaultFile();
    std::array<std::int64_t, 4> stamp{0, 0, 0, 0};
    struct stat status {};
    if (::stat(file.c_str(), &status) == 0)
        stamp = {static_cast<std::int64_t>(status.st_size), static_cast<std::int64_t>(status.st_mtim.tv_sec),
                 static_cast<std::int64_t>(status.st_mtim.tv_nsec), static_cast<std::int64_t>(status.st_ino)};
    if (stamp == m_historyStamp)
        return false;
    m_historyStamp = stamp;
    // Damaged lines are named by the history dialog; a tooltip has no room for them.
    std::vector<std::string> warnings;
    m_lastBackups =
        catalog::RunHistory(file).lastBackups(m_catalog->dataFolder(), m_catalog->sets(), warnings);
    return true;
}

void MainWindow::updateSetTooltips()
{
    for (int i = 0; i < m_setList->count() && i < static_cast<int>(m_categoryNos.size()); ++i) {
        QString line = tr("Last backup: never");
        if (const auto last = m_lastBackups.find(m_categoryNos[static_cast<std::size_t>(i)]);
            last != m_lastBackups.end()) {
            line = toQString(catalog::lastBackupText(last->second));
        }
        m_setList->item(i)->setToolTip(tr(kSetListHint) + QLatin1Char('\n') + line);
    }
}

// --- Context menus -------------------------------------------------------------------------

void MainWindow::showSetMenu(const QPoint& pos)
{
    if (backupRunning())
        return;
    // The menu acts on the set under the mouse: the press highlighted it, and with it made
    // it the current set; a menu asked for by key acts on the highlighted set.
    const QModelIndex index = m_setList->indexAt(pos);
    if (index.isValid() && index.row() != m_setList->itemIndex())
        m_setList->setItemIndex(index.row());
    updateMenuActions();
    m_setMenu->popup(m_setList->viewport()->mapToGlobal(pos));
}

void MainWindow::showPathMenu(const QPoint& pos)
{
    m_restoreAction->setText(tr("&Restore..."));
    const QModelIndex index = m_pathList->indexAt(pos);
    if (index.isValid())
        m_pathList->setCurrentRow(index.row());
    updateMenuActions();
    m_pathMenu->popup(m_pathList->viewport()->mapToGlobal(pos));
}

void MainWindow::showToolsMenu()
{
    if (backupRunning())
        return;
    updateMenuActions();
    m_restoreAction->setText(m_pathList->currentRow() >= 0
                                 ? tr("&Restore \"%1\"...")
                                       .arg(m_pathList->itemText(m_pathList->currentRow())
                                                .replace(QLatin1Char('&'), QStringLiteral("&&")))
                                 : tr("&Restore..."));
    m_toolsMenu->popup(m_toolsButton->mapToGlobal(QPoint(0, 0)), m_previewAction);
    // Opened upwards from the bar at the bottom of the window, as far as the screen allows.
    m_toolsMenu->move(m_toolsButton->mapToGlobal(QPoint(0, -m_toolsMenu->sizeHint().height())));
}

std::optional<catalog::BackupSet> MainWindow::setForCommand()
{
    std::optional<catalog::BackupSet> set = currentSet();
    if (!set)
        m_dialogs.information(toQString(catalog::messages::kSelectBackup));
    return set;
}

void MainWindow::previewBackup()
{
    if (backupRunning())
        return;
    const std::optional<catalog::BackupSet> set = setForCommand();
    if (!set)
        return;
    std::vector<bool> checked;
    catalog::RunRequest request =
        m_catalog->runRequest(set->number, m_incrementalBox->isChecked(), [this](std::size_t index) {
            return m_pathList->checked(static_cast<int>(index));
        });
    // The preview is refused for what would refuse the run, with the same words.
    const catalog::RunStart decision = catalog::startRun(request, catalog::StartFor::Preview);
    if (decision.verdict == catalog::RunStart::Verdict::Refused) {
        if (decision.failure)
            m_dialogs.error(toQString(decision.refusal));
        else if (!decision.refusal.empty())
            m_dialogs.information(toQString(decision.refusal));
        return;
    }
    checked.reserve(static_cast<std::size_t>(m_pathList->count()));
    for (int i = 0; i < m_pathList->count(); ++i)
        checked.push_back(m_pathList->checked(i));
    auto* dialog = new PreviewDialog(toQString(set->description), request.settings(),
                                     std::move(request.items), std::move(checked), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
}

void MainWindow::editOptions()
{
    if (backupRunning())
        return;
    const std::optional<catalog::BackupSet> set = setForCommand();
    if (!set)
        return;
    if (!changesAllowed())
        return;
    guarded(m_dialogs, [&] {
        const std::int32_t number = set->number;
        // Saved into the tables as the editor saves a set; the files are written at exit.
        auto* dialog = new OptionsDialog(
            m_dialogs, toQString(set->description), m_catalog->options(number),
            [this, number](const catalog::SetOptions& options) { m_catalog->setOptions(number, options); },
            this);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->open();
    });
}

void MainWindow::restoreFiles()
{
    if (backupRunning())
        return;
    const std::optional<catalog::BackupSet> set = setForCommand();
    if (!set)
        return;
    std::vector<std::string> items;
    items.reserve(static_cast<std::size_t>(m_pathList->count()));
    for (int i = 0; i < m_pathList->count(); ++i)
        items.push_back(toUtf8String(m_pathList->itemText(i)));
    const int row = m_pathList->currentRow();
    const std::string highlighted =
        row >= 0 && row < m_pathList->count() ? toUtf8String(m_pathList->itemText(row)) : std::string();
    auto* dialog = new RestoreDialog(m_dialogs, toQString(set->description), set->destination,
                                     std::move(items), highlighted, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    // Started once the dialog has closed: the progress window's events would otherwise
    // delete the dialog while it is still finishing.
    connect(dialog, &QDialog::accepted, this, [this, dialog] {
        QMetaObject::invokeMethod(
            this,
            [this, request = dialog->request(), target = dialog->targetText()] {
                startRestore(request, target);
            },
            Qt::QueuedConnection);
    });
    dialog->open();
}

void MainWindow::startRestore(backup::RestoreRequest request, const QString& target)
{
    if (backupRunning())
        return;
    m_restoreFolder = target;
    m_progress->prepareRun(1);
    m_progress->setWindowTitle(tr("Progress"));
    m_cancelFlag = false;
    m_restoreWorker = std::make_unique<RestoreWorker>(
        std::move(request), m_cancelFlag,
        [this](std::uint64_t count) { m_progress->setFilesCopied(static_cast<qint64>(count)); }, this);
    connect(m_restoreWorker.get(), &RestoreWorker::finished, this, &MainWindow::restoreFinished);
    setRunning(true);
    m_restoreWorker->start();
}

void MainWindow::restoreFinished()
{
    const std::unique_ptr<RestoreWorker> worker = std::move(m_restoreWorker);
    const backup::RestoreResult& result = worker->result();
    m_progress->setFilesCopied(static_cast<qint64>(result.restored));
    m_progress->itemDone();
    m_progress->finishRun();
    setRunning(false);
    emit backupFinished();
    if (!worker->refusal().empty()) {
        m_dialogs.information(toQString(worker->refusal()));
        return;
    }
    if (!worker->error().empty()) {
        m_dialogs.error(toQString(worker->error()));
        return;
    }
    if (result.writeFailed) {
        m_dialogs.error(toQString(result.failure));
        return;
    }
    QStringList lines;
    const auto files = [](std::uint64_t count) { return tr("%n file(s)", nullptr, static_cast<int>(count)); };
    lines << (result.cancelled ? tr("Restore cancelled: %1 restored to %2.") : tr("%1 restored to %2."))
                 .arg(files(result.restored), m_restoreFolder);
    if (result.same > 0)
        lines << tr("%1 already there as in the backup.").arg(files(result.same));
    for (const auto& [path, run] : result.fromVersions)
        lines << tr("No current copy of %1: restored the newest kept version, from %2.")
                     .arg(toQString(path), toQString(run));
    if (!result.kept.empty()) {
        lines << tr("Files already there that differ were left as they are:");
        for (const std::string& kept : result.kept)
            lines << toQString(kept);
    }
    if (!result.unreadable.empty()) {
        lines << tr("Copies that could not be read:");
        for (const backup::NotBackedUp& entry : result.unreadable)
            lines << toQString(entry.path) + QStringLiteral(": ") + toQString(entry.reason);
    }
    for (const std::string& line : result.notKept)
        lines << toQString(line);
    m_dialogs.information(lines.join(QStringLiteral("\r\n")));
}

void MainWindow::showHistory()
{
    const std::optional<catalog::BackupSet> set = setForCommand();
    if (!set)
        return;
    guarded(m_dialogs, [&] {
        std::vector<std::string> warnings;
        // Only the set's own runs: never those of a deleted set that had its number.
        std::vector<catalog::RunRecord> runs = catalog::RunHistory(catalog::RunHistory::defaultFile())
                                                   .runsOf(m_catalog->dataFolder(), *set, warnings);
        auto* dialog = new HistoryDialog(toQString(set->description), std::move(runs), warnings, this);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->open();
    });
}

void MainWindow::backupThreadFinished()
{
    // The end of the session may have recorded the run already.
    if (!m_backupWorker)
        return;
    const backup::BackupResult result = m_backupWorker->result();
    m_backupWorker.reset();
    const catalog::RunRecord record = catalog::makeRunRecord(m_catalog->dataFolder(), m_runSet, m_runSettings,
                                                             result, m_runStart, "stowmere");
    recordRun(record);
    if (record.isBackup() && m_catalog->findSet(m_runSet.number) &&
        m_runDrive.needsRecording(m_catalog->options(m_runSet.number)))
        guarded(m_dialogs, [this] { m_catalog->recordDriveIdentity(m_runSet.number, m_runDrive.identity); });
    m_progress->setWindowTitle(tr("Progress"));
    setRunning(false);
    emit backupFinished();
    if (m_closeAfterRun) {
        m_closeAfterRun = false;
        close();
    }
}

bool MainWindow::isItemChecked(std::size_t index)
{
    return m_pathList->checked(static_cast<int>(index));
}

void MainWindow::uncheckItem(std::size_t index)
{
    m_pathList->setChecked(static_cast<int>(index), false);
}

void MainWindow::totalsCounted(const backup::RunTotals& totals)
{
    if (totals.complete)
        m_progressTitle.setTotal(totals.bytes);
}

bool MainWindow::startWithoutSpace(std::uint64_t needed, std::uint64_t free, const std::string& folder)
{
    return m_dialogs.confirm(toQString(backup::notEnoughSpaceQuestion(needed, free, folder)));
}

bool MainWindow::allowMassRemoval(const std::string& item, std::uint64_t files, std::uint64_t copies,
                                  bool sourceEmpty)
{
    const int count = static_cast<int>(files);
    const QString why =
        sourceEmpty ? tr("The folder %1 is empty, while its copy holds %n file(s).", nullptr, count)
                          .arg(toQString(item))
                    : tr("%n of the %1 files of the copy of %2 are no longer in the folder.", nullptr, count)
                          .arg(QString::number(copies), toQString(item));
    // No keeps the copy as it is; the run's history says so.
    return m_dialogs.confirmDefaultNo(why +
                                      withCrLf(tr("\nA disk not plugged in or a folder emptied by mistake "
                                                  "looks the same. Move them into versions all the same?")));
}

void MainWindow::bytesCopied(std::uint64_t bytes)
{
    m_progressTitle.setBytesCopied(ProgressTitle::Clock::now(), bytes);
    m_progress->setWindowTitle(m_progressTitle.title());
}

void MainWindow::copyProgress(const std::string&, std::uint64_t done, std::uint64_t)
{
    m_progressTitle.setFileProgress(ProgressTitle::Clock::now(), done);
    m_progress->setWindowTitle(m_progressTitle.title());
}

void MainWindow::fileCopied(std::uint64_t count)
{
    m_progress->setFilesCopied(static_cast<qint64>(count));
}

void MainWindow::itemDone()
{
    m_progress->itemDone();
    emit backupItemDone();
}

void MainWindow::showError(const std::string& text)
{
    m_dialogs.error(toQString(text));
}

void MainWindow::showInformation(const std::string& text)
{
    m_dialogs.information(toQString(text));
}

void MainWindow::closeProgress()
{
    m_progress->finishRun();
}

} // namespace stowmere::app
