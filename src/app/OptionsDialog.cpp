// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/OptionsDialog.h"

#include "app/GuardedHandler.h"
#include "app/StringConversion.h"
#include "app/Style.h"
#include "controls/GradientButton.h"
#include "platform/FileSystemIdentity.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QVBoxLayout>

namespace stowmere::app {

OptionsDialog::OptionsDialog(Dialogs& dialogs, const QString& setDescription, catalog::SetOptions options,
                             SaveHandler save, QWidget* parent)
    : QDialog(parent), m_dialogs(dialogs), m_original(std::move(options)), m_save(std::move(save))
{
    setObjectName(QStringLiteral("optionsDialog"));
    setWindowTitle(tr("Backup Options"));
    const style::DialogFrame frame = style::frameDialog(*this, tr("Backup Options"));
    QVBoxLayout* layout = frame.content;
    auto* headline = new QLabel(tr("Options of \"%1\"").arg(setDescription), this);
    headline->setObjectName(QStringLiteral("optionsHeadline"));
    headline->setTextFormat(Qt::PlainText);
    layout->addWidget(headline);

    auto* form = new QFormLayout;
    m_exclusions = new QPlainTextEdit(this);
    m_exclusions->setObjectName(QStringLiteral("optionsExclusions"));
    m_exclusions->setTabChangesFocus(true);
    m_exclusions->setFocus();
    m_exclusions->setToolTip(tr("One pattern a line: * and ? within a name, ** for any folders, "
                                "a trailing / for folders only, a leading / from the item on"));
    QStringList patterns;
    for (const std::string& pattern : m_original.exclusions)
        patterns << toQString(pattern);
    m_exclusions->setPlainText(patterns.join(QLatin1Char('\n')));
    form->addRow(tr("&Leave out:"), m_exclusions);

    m_keepVersions = new QSpinBox(this);
    m_keepVersions->setObjectName(QStringLiteral("optionsKeepVersions"));
    m_keepVersions->setRange(0, 100000);
    m_keepVersions->setValue(m_original.keepVersions);
    m_keepVersions->setSpecialValueText(tr("none"));
    form->addRow(tr("&Versions to keep:"), m_keepVersions);

    m_keepDays = new QSpinBox(this);
    m_keepDays->setObjectName(QStringLiteral("optionsKeepDays"));
    m_keepDays->setRange(0, 365000);
    m_keepDays->setValue(m_original.keepDays);
    m_keepDays->setSpecialValueText(tr("no limit"));
    form->addRow(tr("&Days to keep:"), m_keepDays);

    m_cacheDirTag = new QCheckBox(tr("Leave out folders that hold a CACHEDIR.&TAG"), this);
    m_cacheDirTag->setObjectName(QStringLiteral("optionsCacheDirTag"));
    m_cacheDirTag->setChecked(m_original.cacheDirTag);
    form->addRow(QString(), m_cacheDirTag);

    m_guard = new QCheckBox(tr("&Ask before a backup to a different drive than the last one"), this);
    m_guard->setObjectName(QStringLiteral("optionsGuard"));
    m_guard->setChecked(m_original.guard);
    form->addRow(QString(), m_guard);

    m_mirror = new QCheckBox(tr("&Move what was removed from a folder out of its copy, into versions"), this);
    m_mirror->setObjectName(QStringLiteral("optionsMirror"));
    m_mirror->setChecked(m_original.mirror);
    m_mirror->setToolTip(tr("Files and folders removed or renamed since the last backup go into "
                            ".stowmere-versions of the Backup To Folder, kept as long as versions "
                            "are; a folder found empty asks first."));
    form->addRow(QString(), m_mirror);

    m_drive = new QLabel(this);
    m_drive->setObjectName(QStringLiteral("optionsDrive"));
    showDrive();
    m_drive->setTextFormat(Qt::PlainText);
    form->addRow(tr("Drive of the last backup:"), m_drive);
    layout->addLayout(form, 1);

    m_saveButton = style::makeBarButton(this, tr("&Save"));
    m_saveButton->setObjectName(QStringLiteral("optionsSave"));
    m_saveButton->setDefault(true);
    m_cancelButton = style::makeBarButton(this, tr("&Cancel"));
    m_cancelButton->setObjectName(QStringLiteral("optionsCancel"));
    frame.buttons->addWidget(m_saveButton);
    frame.buttons->addWidget(m_cancelButton);
    connect(m_saveButton, &controls::GradientControl::clicked, this, &OptionsDialog::saveClick);
    connect(m_cancelButton, &controls::GradientControl::clicked, this, &QDialog::reject);
}

void OptionsDialog::showDrive()
{
    // The drive as its user knows it: where it is mounted and its label; its UUID on
    // request (the tooltip). The recorded key itself means nothing to anyone.
    const std::string& key = m_original.driveIdentity;
    if (key.empty()) {
        m_drive->setText(tr("not recorded yet"));
        return;
    }
    if (key.rfind("ssh:", 0) == 0) {
        // A server, by its host key (and the disk of its folder, which says nothing to a
        // person).
        const std::string fingerprint = key.substr(4, key.find(":fsid:") - 4);
        m_drive->setText(tr("a server folder"));
        m_drive->setToolTip(tr("Host key %1").arg(toQString(fingerprint)));
        return;
    }
    const std::optional<files::FileSystemDescription> drive = files::describeFileSystem(key);
    if (!drive) {
        m_drive->setText(tr("a drive that is not connected now"));
        if (key.rfind("uuid:", 0) == 0)
            m_drive->setToolTip(tr("UUID %1").arg(toQString(key.substr(5))));
        return;
    }
    QString text = toQString(drive->mountPoint);
    if (!drive->label.empty())
        text += tr(" (label \"%1\")").arg(toQString(drive->label));
    m_drive->setText(text);
    if (!drive->uuid.empty())
        m_drive->setToolTip(tr("UUID %1").arg(toQString(drive->uuid)));
}

catalog::SetOptions OptionsDialog::options() const
{
    catalog::SetOptions options = m_original;
    options.exclusions.clear();
    for (const QString& line : m_exclusions->toPlainText().split(QLatin1Char('\n'))) {
        if (!line.trimmed().isEmpty())
            options.exclusions.push_back(toUtf8String(line));
    }
    options.keepVersions = m_keepVersions->value();
    options.keepDays = m_keepDays->value();
    options.cacheDirTag = m_cacheDirTag->isChecked();
    options.guard = m_guard->isChecked();
    options.mirror = m_mirror->isChecked();
    return options;
}

void OptionsDialog::saveClick()
{
    const catalog::SetOptions edited = options();
    if (edited == m_original) {
        accept();
        return;
    }
    if (guarded(
            m_dialogs, [&] { m_save(edited); }, OnFailure().refusalAsInformation()))
        accept();
}

} // namespace stowmere::app
