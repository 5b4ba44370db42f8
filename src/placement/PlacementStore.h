// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFlags>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>
#include <map>
#include <string>

class QEvent;

namespace stowmere::placement {

class IniFile;

enum class PlacementOption : unsigned {
    State = 0x1,
    Position = 0x2,
    ActiveControl = 0x4,
};
Q_DECLARE_FLAGS(PlacementOptions, PlacementOption)
Q_DECLARE_OPERATORS_FOR_FLAGS(PlacementOptions)

/// Registry hive for the registry variant; stored only, the INI file is always used.
enum class RegistryRoot { CurrentUser, LocalMachine, CurrentConfig, ClassesRoot, Users, DynData };

/// Size constraints; stored only. All zero means "no constraint".
struct MinMaxInfo {
    int maxPosLeft = 0;
    int maxPosTop = 0;
    int maxSizeHeight = 0;
    int maxSizeWidth = 0;
    int maxTrackHeight = 0;
    int maxTrackWidth = 0;
    int minTrackHeight = 0;
    int minTrackWidth = 0;

    bool isDefault() const;
    bool operator==(const MinMaxInfo&) const = default;
};

/// Keeps a window's position, size and state in an INI file across runs.
///
/// Create it with the window as owner, in the window's constructor:
///     FormPlacement1 = new PlacementStore(this);
/// It attaches itself to the window at once through an event filter:
/// - Show: the placement is restored before the window's own showEvent runs, so the
///   window's show handler sees the restored geometry and state.
/// - Close: the close-query handler given to setCloseQueryHandler (if any) decides first;
///   when it refuses, the close event is ignored and the window's closeEvent is not called.
///   Otherwise the placement is saved and then the window's own closeEvent runs.
/// - Destroy: the store is a child of the window, so it is destroyed with it; if nothing
///   was saved yet it saves then (the window's own destructor body has run by then, but
///   its QWidget state is still intact).
/// Failures while restoring or saving are handed to the error report (by default the
/// application's error message box); showing and closing the window carry on. The report
/// may also be called while the window is destroyed, so it must not use the window's own
/// members; for the same reason placementSaved is not emitted by the save at destroy.
///
/// The default section is the window's class name, so the window class needs Q_OBJECT.
/// A window that centres itself does so through setFormPosition(WindowPosition::ScreenCenter)
/// (FormPosition.h), not in its own showEvent: the store switches centring off when it
/// restores a position, and centres the window otherwise.
class PlacementStore : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool Active READ active WRITE setActive)
    Q_PROPERTY(QString IniFileName READ iniFileName WRITE setIniFileName)
    Q_PROPERTY(QString IniSection READ iniSection WRITE setIniSection)
    Q_PROPERTY(int Version READ version WRITE setVersion)
    Q_PROPERTY(bool UseRegistry READ useRegistry WRITE setUseRegistry)
    Q_PROPERTY(bool PreventResize READ preventResize WRITE setPreventResize)
    Q_PROPERTY(bool RestoreDone READ restoreDone)
    Q_PROPERTY(bool SaveDone READ saveDone)
    Q_PROPERTY(bool SavingAtDestroy READ savingAtDestroy)

public:
    using CloseQueryHandler = std::function<bool()>;
    using ErrorReport = std::function<void(const QString& message)>;

    explicit PlacementStore(QWidget* owner);
    ~PlacementStore() override;
    PlacementStore(const PlacementStore&) = delete;
    PlacementStore& operator=(const PlacementStore&) = delete;

    QWidget* owner() const { return m_owner; }

    bool active() const { return m_active; }
    void setActive(bool active) { m_active = active; }
    /// Empty: the executable's name with ".INI" in the configuration folder. A bare name is
    /// placed in the configuration folder too; a name with a folder is used as it is.
    QString iniFileName() const { return m_iniFileName; }
    void setIniFileName(const QString& name) { m_iniFileName = name; }
    /// Empty: the owner window's class name without namespace ("MainWindow").
    QString iniSection() const { return m_iniSection; }
    void setIniSection(const QString& section) { m_iniSection = section; }
    PlacementOptions options() const { return m_options; }
    void setOptions(PlacementOptions options) { m_options = options; }
    int version() const { return m_version; }
    void setVersion(int version) { m_version = version; }
    bool useRegistry() const { return m_useRegistry; }
    void setUseRegistry(bool use) { m_useRegistry = use; }
    RegistryRoot registryRoot() const { return m_registryRoot; }
    void setRegistryRoot(RegistryRoot root) { m_registryRoot = root; }
    const MinMaxInfo& minMaxInfo() const { return m_minMaxInfo; }
    void setMinMaxInfo(const MinMaxInfo& info) { m_minMaxInfo = info; }
    bool preventResize() const { return m_preventResize; }
    void setPreventResize(bool prevent) { m_preventResize = prevent; }

    bool restoreDone() const { return m_restoreDone; }
    bool saveDone() const { return m_saveDone; }
    bool savingAtDestroy() const { return m_savingAtDestroy; }

    /// Object names the window's widgets had when an INI file was written, each with the
    /// name the widget has now: an active control stored under its former name is found.
    void setFormerControlNames(std::map<QString, QString> names) { m_formerControlNames = std::move(names); }

    /// The window's own close-query handler: returns whether the window may close.
    void setCloseQueryHandler(CloseQueryHandler handler) { m_closeQuery = std::move(handler); }
    /// Replaces the application's error message box (tests record the messages instead).
    void setErrorReport(ErrorReport report);

    /// Full path of the INI file used.
    std::string iniFilePath() const;
    /// The section used.
    std::string iniSectionName() const;

    /// Restores the placement from the INI file. Throws IniFileError or std::exception.
    void restorePlacement();
    /// Saves the placement to the INI file. Throws IniFileError or std::exception.
    void savePlacement();

    /// The application's default error report: a modal error box titled with the
    /// application's display name, "." appended when the text ends in a character after ".".
    static void showApplicationError(const QString& message);
    /// The text that box shows for an error message.
    static QString applicationErrorText(const QString& message);

signals:
    void placementSaved();
    void placementRestored();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void formShow();
    bool formCloseQuery();
    void formDestroy();
    void report(const std::exception& error) const;

    QPointer<QWidget> m_owner;
    bool m_active = true;
    QString m_iniFileName;
    QString m_iniSection;
    PlacementOptions m_options;
    int m_version = 0;
    bool m_useRegistry = false;
    RegistryRoot m_registryRoot = RegistryRoot::CurrentUser;
    MinMaxInfo m_minMaxInfo;
    bool m_preventResize = false;

    bool m_restoreDone = false;
    bool m_saveDone = false;
    bool m_savingAtDestroy = false;
    // The owner's class name, taken while the owner is whole: during its destruction its
    // meta-object is already QWidget's.
    std::string m_ownerClassName;
    std::map<QString, QString> m_formerControlNames;
    CloseQueryHandler m_closeQuery;
    ErrorReport m_errorReport;
};

} // namespace stowmere::placement
