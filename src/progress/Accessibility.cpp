// SPDX-License-Identifier: GPL-3.0-or-later
#include "progress/Accessibility.h"

#include "progress/BevelPanel.h"
#include "progress/CylinderProgressBar.h"
#include "progress/GifAnimator.h"
#include "progress/ProgressWindow.h"

#include <QAccessibleWidget>

#include <cmath>

namespace stowmere::progress {
namespace {

// The window's own name when the program gave the widget none: the bar and the picture
// each stand for the one thing their window shows.
QString nameOrWindowTitle(const QWidget& widget)
{
    if (!widget.accessibleName().isEmpty())
        return widget.accessibleName();
    return widget.window() != nullptr ? widget.window()->windowTitle() : QString();
}

class AccessibleBar : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit AccessibleBar(QWidget* widget) : QAccessibleWidget(widget, QAccessible::ProgressBar) {}

    void* interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QString text(QAccessible::Text kind) const override
    {
        if (kind == QAccessible::Name)
            return nameOrWindowTitle(*widget());
        if (kind == QAccessible::Value)
            return QStringLiteral("%1%").arg(percent());
        return QAccessibleWidget::text(kind);
    }

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.readOnly = true;
        return state;
    }

    QVariant currentValue() const override { return bar()->position(); }
    // The program moves the bar; assistive technology only reads it.
    void setCurrentValue(const QVariant&) override {}
    QVariant maximumValue() const override { return bar()->maximum(); }
    QVariant minimumValue() const override { return bar()->minimum(); }
    QVariant minimumStepSize() const override { return 1; }

private:
    CylinderProgressBar* bar() const { return static_cast<CylinderProgressBar*>(widget()); }

    int percent() const
    {
        const double range = double(bar()->maximum()) - double(bar()->minimum());
        if (range <= 0)
            return 0;
        return static_cast<int>(
            std::lround((double(bar()->position()) - double(bar()->minimum())) * 100.0 / range));
    }
};

class AccessibleFrame : public QAccessibleWidget {
public:
    explicit AccessibleFrame(QWidget* widget) : QAccessibleWidget(widget, QAccessible::Grouping) {}
};

class AccessibleAnimation : public QAccessibleWidget {
public:
    explicit AccessibleAnimation(QWidget* widget) : QAccessibleWidget(widget, QAccessible::Animation) {}

    QString text(QAccessible::Text kind) const override
    {
        if (kind == QAccessible::Name)
            return nameOrWindowTitle(*widget());
        return QAccessibleWidget::text(kind);
    }
};

} // namespace

QAccessibleInterface* accessibleProgressWidget(const QString& className, QObject* object)
{
    auto* widget = qobject_cast<QWidget*>(object);
    if (widget == nullptr)
        return nullptr;
    if (className == QLatin1String(CylinderProgressBar::staticMetaObject.className()))
        return new AccessibleBar(widget);
    if (className == QLatin1String(BevelPanel::staticMetaObject.className()))
        return new AccessibleFrame(widget);
    if (className == QLatin1String(GifAnimator::staticMetaObject.className()))
        return new AccessibleAnimation(widget);
    // A plain widget made a dialog window: read as the dialog it is, not as a filler.
    if (className == QLatin1String(ProgressWindow::staticMetaObject.className()))
        return new QAccessibleWidget(widget, QAccessible::Dialog);
    return nullptr;
}

void installAccessibility()
{
    QAccessible::installFactory(&accessibleProgressWidget);
}

} // namespace stowmere::progress
