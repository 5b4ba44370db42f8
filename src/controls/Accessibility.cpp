// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/Accessibility.h"

#include "controls/GradientButton.h"
#include "controls/GradientCheckBox.h"
#include "controls/GradientPanel.h"

#include <QAccessibleWidget>
#include <QKeySequence>

namespace stowmere::controls {
namespace {

// The control's own accessible name when the program set one, else its caption, else its
// tooltip: a button that only shows a glyph still needs a name to be spoken.
QString controlName(const GradientControl& control)
{
    if (!control.accessibleName().isEmpty())
        return control.accessibleName();
    QString name = withoutMnemonic(control.caption());
    if (name.isEmpty())
        name = control.toolTip();
    return name;
}

class AccessibleButton : public QAccessibleWidget {
public:
    explicit AccessibleButton(QWidget* widget) : QAccessibleWidget(widget, QAccessible::Button) {}

    QString text(QAccessible::Text kind) const override
    {
        switch (kind) {
        case QAccessible::Name:
            return controlName(*button());
        case QAccessible::Accelerator:
            return mnemonicKey(button()->caption());
        case QAccessible::Description:
            // The tooltip already is the name of a button without a caption.
            if (withoutMnemonic(button()->caption()).isEmpty() && button()->accessibleDescription().isEmpty())
                return {};
            return QAccessibleWidget::text(kind);
        default:
            return QAccessibleWidget::text(kind);
        }
    }

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.defaultButton = button()->isDefault();
        state.pressed = button()->isDown() || (button()->isPressed() && button()->isHovered());
        if (button()->groupIndex() > 0) {
            state.checkable = true;
            state.checked = button()->isDown();
        }
        return state;
    }

    QStringList actionNames() const override
    {
        QStringList names{pressAction()};
        names << QAccessibleWidget::actionNames();
        return names;
    }

    void doAction(const QString& action) override
    {
        if (action != pressAction()) {
            QAccessibleWidget::doAction(action);
            return;
        }
        if (button()->isEnabled())
            button()->click();
    }

    QStringList keyBindingsForAction(const QString& action) const override
    {
        if (action == pressAction() && !mnemonicKey(button()->caption()).isEmpty())
            return {mnemonicKey(button()->caption())};
        return QAccessibleWidget::keyBindingsForAction(action);
    }

private:
    GradientButton* button() const { return static_cast<GradientButton*>(widget()); }
};

class AccessibleCheckBox : public QAccessibleWidget {
public:
    explicit AccessibleCheckBox(QWidget* widget) : QAccessibleWidget(widget, QAccessible::CheckBox) {}

    QString text(QAccessible::Text kind) const override
    {
        if (kind == QAccessible::Name)
            return controlName(*box());
        if (kind == QAccessible::Accelerator)
            return mnemonicKey(box()->caption());
        return QAccessibleWidget::text(kind);
    }

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.checkable = true;
        state.checked = box()->isChecked();
        return state;
    }

    QStringList actionNames() const override
    {
        QStringList names{toggleAction()};
        names << QAccessibleWidget::actionNames();
        return names;
    }

    void doAction(const QString& action) override
    {
        if (action != toggleAction() && action != pressAction()) {
            QAccessibleWidget::doAction(action);
            return;
        }
        // A toggle through assistive technology is a click: the program reacts to it as it
        // does to the mouse.
        if (box()->isEnabled())
            box()->click();
    }

private:
    GradientCheckBox* box() const { return static_cast<GradientCheckBox*>(widget()); }
};

// A panel only frames other controls: a grouping, named by its caption when it shows one.
class AccessiblePanel : public QAccessibleWidget {
public:
    explicit AccessiblePanel(QWidget* widget) : QAccessibleWidget(widget, QAccessible::Grouping) {}

    QString text(QAccessible::Text kind) const override
    {
        if (kind == QAccessible::Name) {
            const auto* panel = static_cast<const GradientPanel*>(widget());
            if (!panel->accessibleName().isEmpty())
                return panel->accessibleName();
            return panel->showCaption() ? withoutMnemonic(panel->caption()) : QString();
        }
        return QAccessibleWidget::text(kind);
    }
};

} // namespace

QString withoutMnemonic(const QString& caption)
{
    QString plain;
    plain.reserve(caption.size());
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption[i] != QLatin1Char('&')) {
            plain += caption[i];
        } else if (i + 1 < caption.size() && caption[i + 1] == QLatin1Char('&')) {
            plain += QLatin1Char('&');
            ++i;
        }
    }
    return plain;
}

QString mnemonicKey(const QString& caption)
{
    return QKeySequence::mnemonic(caption).toString(QKeySequence::NativeText);
}

QAccessibleInterface* accessibleControl(const QString& className, QObject* object)
{
    auto* widget = qobject_cast<QWidget*>(object);
    if (widget == nullptr)
        return nullptr;
    const QString button = QString::fromLatin1(GradientButton::staticMetaObject.className());
    const QString box = QString::fromLatin1(GradientCheckBox::staticMetaObject.className());
    const QString panel = QString::fromLatin1(GradientPanel::staticMetaObject.className());
    if (className == button)
        return new AccessibleButton(widget);
    if (className == box)
        return new AccessibleCheckBox(widget);
    if (className == panel)
        return new AccessiblePanel(widget);
    return nullptr;
}

void installAccessibility()
{
    // The framework keeps a factory once however often it is installed.
    QAccessible::installFactory(&accessibleControl);
}

} // namespace stowmere::controls
