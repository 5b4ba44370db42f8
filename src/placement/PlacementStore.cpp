// SPDX-License-Identifier: GPL-3.0-or-later
#include "placement/PlacementStore.h"

#include "placement/FormPosition.h"
#include "placement/IniFile.h"
#include "placement/PlacementKeys.h"
#include "placement/WindowPlacement.h"
#include "platform/Locations.h"
#include "platform/Paths.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QMessageBox>
#include <QWidget>

namespace stowmere::placement {
namespace {

std::string classNameOf(const QWidget& window)
{
    // Qt qualifies the name with its namespace; the section is the bare class name.
    std::string name = window.metaObject()->className();
    if (const std::size_t colons = name.rfind("::"); colons != std::string::npos)
        name.erase(0, colons + 2);
    return name;
}

} // namespace

bool MinMaxInfo::isDefault() const
{
    return *this == MinMaxInfo{};
}

PlacementStore::PlacementStore(QWidget* owner) : QObject(owner), m_owner(owner)
{
    if (m_owner && m_owner->isWindow()) {
        m_options = PlacementOption::State | PlacementOption::Position;
        m_ownerClassName = classNameOf(*m_owner);
        m_owner->installEventFilter(this);
    }
}

PlacementStore::~PlacementStore()
{
    // The store is a child of its window and so is destroyed while the window's QWidget
    // part still holds its geometry and state: this is the window's destroy notification.
    formDestroy();
    if (m_owner)
        m_owner->removeEventFilter(this);
}

void PlacementStore::setErrorReport(ErrorReport report)
{
    m_errorReport = std::move(report);
}

std::string PlacementStore::iniFilePath() const
{
    if (m_iniFileName.isEmpty())
        return locations::iniFilePath();
    std::string name = m_iniFileName.toStdString();
    if (name.find(paths::kSeparator) == std::string::npos)
        return paths::join(locations::configFolder(), name);
    return name;
}

std::string PlacementStore::iniSectionName() const
{
    return m_iniSection.isEmpty() ? m_ownerClassName : m_iniSection.toStdString();
}

bool PlacementStore::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_owner)
        return false;
    switch (event->type()) {
    case QEvent::Show:
        // A spontaneous show is the window coming back from minimised, not being shown.
        if (!event->spontaneous())
            formShow();
        return false;
    case QEvent::Close:
        if (!formCloseQuery()) {
            event->ignore();
            return true;
        }
        return false;
    default:
        return false;
    }
}

void PlacementStore::formShow()
{
    m_ownerClassName = classNameOf(*m_owner);
    if (m_active) {
        try {
            restorePlacement();
        } catch (const std::exception& error) {
            report(error);
        }
    }
    applyFormPosition(*m_owner);
}

bool PlacementStore::formCloseQuery()
{
    m_ownerClassName = classNameOf(*m_owner);
    if (m_closeQuery) {
        try {
            if (!m_closeQuery())
                return false;
        } catch (const std::exception& error) {
            // A close-query handler that fails has not allowed closing.
            report(error);
            return false;
        }
    }
    if (m_active && m_owner->isWindow() && m_owner->testAttribute(Qt::WA_WState_Created)) {
        try {
            savePlacement();
        } catch (const std::exception& error) {
            report(error);
        }
    }
    return true;
}

void PlacementStore::formDestroy()
{
    if (!m_owner || !m_active || m_saveDone)
        return;
    m_savingAtDestroy = true;
    try {
        savePlacement();
    } catch (const std::exception& error) {
        report(error);
    }
    m_savingAtDestroy = false;
}

void PlacementStore::restorePlacement()
{
    if (!m_owner)
        return;
    QWidget& window = *m_owner;
    m_saveDone = false;
    IniFile ini(iniFilePath());
    const std::string section = iniSectionName();

    if (ini.readInteger(section, "FormVersion", 0) >= m_version) {
        readPlacement(window, ini, section, m_options.testFlag(PlacementOption::Position),
                      m_options.testFlag(PlacementOption::State));
        m_restoreDone = true;
        emit placementRestored();
        if (m_options.testFlag(PlacementOption::ActiveControl)) {
            QString name = QString::fromStdString(ini.readString(section, "ActiveControl", ""));
            if (const auto former = m_formerControlNames.find(name); former != m_formerControlNames.end())
                name = former->second;
            QWidget* control = name.isEmpty() ? nullptr : window.findChild<QWidget*>(name);
            if (control && control->isEnabled() && control->focusPolicy() != Qt::NoFocus)
                control->setFocus();
        }
    }
    m_restoreDone = true;
    ini.release();

    // The maximised position goes just outside the screen by the frame, so a maximised
    // window shows no frame. Size constraints would fight it; then it is left alone.
    if (window.testAttribute(Qt::WA_WState_Created) && m_minMaxInfo.isDefault() && !m_preventResize) {
        WindowPlacement placement = windowPlacement(window);
        const QSize frame = frameMetrics(window);
        placement.maxPosition = QPoint(-frame.width(), -frame.height());
        setWindowPlacement(window, placement);
    }
}

void PlacementStore::savePlacement()
{
    if (!m_owner)
        return;
    // A window that was never shown would overwrite the stored placement with its designed one.
    if (m_active && !m_restoreDone)
        return;
    QWidget& window = *m_owner;
    IniFile ini(iniFilePath());
    const std::string section = iniSectionName();

    ini.writeInteger(section, "FormVersion", m_version);
    if (m_options & (PlacementOption::State | PlacementOption::Position)) {
        writePlacement(window, ini, section);
        ini.writeBool(section, "Visible", m_savingAtDestroy);
    }
    if (m_options.testFlag(PlacementOption::ActiveControl)) {
        if (const QWidget* focused = window.focusWidget(); focused && !focused->objectName().isEmpty())
            ini.writeString(section, "ActiveControl", focused->objectName().toStdString());
    }
    // At destroy time the window's own part is gone; a receiver that is that window must not
    // be called any more.
    if (!m_savingAtDestroy)
        emit placementSaved();
    m_saveDone = true;
    ini.release();
}

void PlacementStore::report(const std::exception& error) const
{
    const QString message = QString::fromUtf8(error.what());
    if (m_errorReport)
        m_errorReport(message);
    else
        showApplicationError(message);
}

QString PlacementStore::applicationErrorText(const QString& message)
{
    QString text = message;
    if (!text.isEmpty() && text.back() > QLatin1Char('.'))
        text += QLatin1Char('.');
    return text;
}

void PlacementStore::showApplicationError(const QString& message)
{
    QMessageBox box(QMessageBox::Critical, QGuiApplication::applicationDisplayName(),
                    applicationErrorText(message), QMessageBox::Ok);
    box.exec();
}

} // namespace stowmere::placement
