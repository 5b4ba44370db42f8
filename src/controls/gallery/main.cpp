// SPDX-License-Identifier: GPL-3.0-or-later
// stowmere-gallery [--png FOLDER]: shows every styled control in its states; with
// --png it writes one PNG per control and state into FOLDER and exits; --zoom N
// enlarges the written images N times, pixel for pixel, for close inspection.
#include "controls/CheckImages.h"
#include "controls/GradientButton.h"
#include "controls/GradientCheckBox.h"
#include "controls/GradientPanel.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEnterEvent>
#include <QGridLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

using namespace stowmere::controls;

namespace {

QImage makeGlyph()
{
    // A green disc with a white tick on magenta, the colour that becomes transparent.
    QImage glyph(24, 24, QImage::Format_RGB32);
    glyph.fill(QColor(255, 0, 255));
    QPainter painter(&glyph);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(20, 150, 40));
    painter.drawEllipse(2, 2, 19, 19);
    painter.setPen(QPen(Qt::white, 3));
    painter.drawLine(7, 12, 10, 16);
    painter.drawLine(10, 16, 17, 7);
    return glyph;
}

void settle(GradientControl* control)
{
    QElapsedTimer timer;
    timer.start();
    while (control->isFading() && timer.elapsed() < 2000)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
}

void isHovered(GradientControl* control)
{
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QApplication::sendEvent(control, &enter);
    settle(control);
}

void pressControl(GradientControl* control)
{
    isHovered(control);
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(control, &press);
    settle(control);
}

// A button held part-way through its hover fade, to show the blend steps side by side.
class FadeStill : public GradientButton {
public:
    explicit FadeStill(int ticks)
    {
        setHovered(true);
        useFadeInStep();
        for (int i = 0; i < ticks; ++i)
            fadeInStep();
    }
};

struct Sample {
    QString name;
    QWidget* widget;
};

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QString pngFolder;
    const QStringList args = app.arguments();
    const qsizetype png = args.indexOf(QStringLiteral("--png"));
    if (png >= 0) {
        if (png + 1 >= args.size()) {
            std::fprintf(stderr, "usage: stowmere-gallery [--png FOLDER [--zoom N]]\n");
            return 2;
        }
        pngFolder = args[png + 1];
    }
    int zoom = 1;
    const qsizetype zoomAt = args.indexOf(QStringLiteral("--zoom"));
    if (zoomAt >= 0 && zoomAt + 1 < args.size())
        zoom = std::max(1, args[zoomAt + 1].toInt());
    auto zoomed = [zoom](const QPixmap& pixmap) {
        return zoom == 1 ? pixmap
                         : pixmap.scaled(pixmap.size() * zoom, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    };

    QFont font(QStringLiteral("Sans Serif"));
    font.setPixelSize(11);

    QWidget window;
    window.setWindowTitle(QStringLiteral("Stowmere gallery"));
    window.setStyleSheet(QStringLiteral("background: white"));
    auto* grid = new QGridLayout(&window);
    std::vector<Sample> samples;
    int row = 0;

    auto addRow = [&](const QString& title, const std::vector<std::pair<QString, QWidget*>>& items) {
        grid->addWidget(new QLabel(title), row, 0);
        int column = 1;
        for (const auto& [state, widget] : items) {
            grid->addWidget(widget, row, column++);
            samples.push_back({title + QLatin1Char('-') + state, widget});
        }
        ++row;
    };

    const QImage glyph = makeGlyph();
    auto makeButton = [&](int w, int h, const QString& caption, bool withGlyph, Color color) {
        auto* button = new GradientButton;
        button->setFixedSize(w, h);
        button->setFont(font);
        button->setCaption(caption);
        button->setColor(color);
        button->setTextShadow(false);
        button->setShowFocusRect(false);
        button->setGradientBorder(false);
        button->setSpacing(10);
        if (withGlyph)
            button->setGlyph(glyph);
        return button;
    };
    std::vector<std::function<void()>> actions;
    auto buttonRow = [&](const QString& title, int w, int h, const QString& caption, bool withGlyph,
                         Color color) {
        GradientButton* normal = makeButton(w, h, caption, withGlyph, color);
        GradientButton* hover = makeButton(w, h, caption, withGlyph, color);
        GradientButton* pressed = makeButton(w, h, caption, withGlyph, color);
        GradientButton* disabled = makeButton(w, h, caption, withGlyph, color);
        disabled->setEnabled(false);
        GradientButton* focused =
            makeButton(w, h, caption + QStringLiteral(" & more text than fits"), withGlyph, color);
        focused->setShowFocusRect(true);
        focused->setTextShadow(true);
        addRow(title, {{QStringLiteral("normal"), normal},
                       {QStringLiteral("hover"), hover},
                       {QStringLiteral("pressed"), pressed},
                       {QStringLiteral("disabled"), disabled},
                       {QStringLiteral("focus-ellipsis"), focused}});
        actions.push_back([=] {
            isHovered(hover);
            pressControl(pressed);
            focused->setFocus();
        });
    };
    buttonRow(QStringLiteral("button"), 75, 25, QStringLiteral("Close"), false, Color::rgb(3, 171, 73));
    buttonRow(QStringLiteral("large-glyph"), 126, 55, QStringLiteral("Backup"), true, colors::White);
    buttonRow(QStringLiteral("stop-glyph"), 41, 41, QString(), true, colors::White);
    {
        GradientButton* up = makeButton(75, 25, QStringLiteral("Up"), false, colors::White);
        GradientButton* down = makeButton(75, 25, QStringLiteral("Down"), false, colors::White);
        GradientButton* hot = makeButton(75, 25, QStringLiteral("Hot track"), false, colors::White);
        hot->setHotTrack(true);
        GradientButton* shadowed = makeButton(75, 25, QStringLiteral("Shadow"), false, colors::White);
        shadowed->setTextShadow(true);
        for (GradientButton* button : {up, down}) {
            button->setGroupIndex(1);
            button->setGradientBorder(true);
        }
        addRow(QStringLiteral("group"), {{QStringLiteral("up"), up},
                                         {QStringLiteral("down"), down},
                                         {QStringLiteral("hot-track"), hot},
                                         {QStringLiteral("text-shadow"), shadowed}});
        actions.push_back([=] {
            down->setDown(true);
            settle(down);
            isHovered(hot);
        });
    }

    {
        std::vector<std::pair<QString, QWidget*>> stills;
        for (int ticks = 0; ticks <= 10; ticks += 2) {
            auto* still = new FadeStill(ticks);
            still->setFixedSize(75, 25);
            still->setFont(font);
            still->setCaption(QStringLiteral("%1 %").arg(ticks * 10));
            still->setColor(colors::White);
            still->setTextShadow(false);
            still->setShowFocusRect(false);
            stills.emplace_back(QStringLiteral("hover-%1").arg(ticks * 10), still);
        }
        addRow(QStringLiteral("fade"), stills);
    }

    auto makeCheckBox = [&](const QString& caption) {
        auto* box = new GradientCheckBox;
        box->setFixedSize(130, 17);
        box->setCaption(caption);
        box->setColor(Color::rgb(0, 176, 0));
        box->setFontColor(colors::White);
        box->setFont(font);
        ControlColors colours = box->colors();
        colours.setDefaultFrom(colors::White);
        colours.setDefaultTo(colors::White);
        colours.setOverFrom(colors::White);
        colours.setOverTo(Color::rgb(118, 148, 190));
        box->setColors(colours);
        box->setShowFocusRect(false);
        box->setTextShadow(false);
        return box;
    };
    {
        GradientCheckBox* normal = makeCheckBox(QStringLiteral("Select All"));
        GradientCheckBox* hover = makeCheckBox(QStringLiteral("Select All"));
        GradientCheckBox* pressed = makeCheckBox(QStringLiteral("Select All"));
        GradientCheckBox* checked = makeCheckBox(QStringLiteral("Incremental Backup"));
        checked->setChecked(true);
        GradientCheckBox* disabled = makeCheckBox(QStringLiteral("Incremental Backup"));
        disabled->setChecked(true);
        disabled->setEnabled(false);
        GradientCheckBox* lines = makeCheckBox(QStringLiteral("Border lines, focus and a caption too long"));
        lines->setBorderLines({BorderLine::Top, BorderLine::Bottom});
        lines->setShowFocusRect(true);
        lines->setChecked(true);
        addRow(QStringLiteral("checkbox"), {{QStringLiteral("normal"), normal},
                                            {QStringLiteral("hover"), hover},
                                            {QStringLiteral("pressed"), pressed},
                                            {QStringLiteral("checked"), checked},
                                            {QStringLiteral("disabled"), disabled},
                                            {QStringLiteral("lines-focus"), lines}});
        actions.push_back([=] {
            isHovered(hover);
            pressControl(pressed);
            lines->setFocus();
        });
    }

    auto makePanel = [&](int w, int h, const QString& caption, CaptionPosition position, int corner,
                         int border, Color borderColor, Color outer, bool antialiased, Color color) {
        auto* panel = new GradientPanel;
        panel->setFixedSize(w, h);
        panel->setCaption(caption);
        panel->setCaptionPosition(position);
        panel->setCornerWidth(corner);
        panel->setBorderWidth(border);
        panel->setBorderColor(borderColor);
        panel->setOuterColor(outer);
        panel->setAntialiased(antialiased);
        panel->setColor(color);
        panel->setFont(font);
        return panel;
    };
    {
        GradientPanel* title =
            makePanel(300, 50, QStringLiteral("Stowmere"), CaptionPosition::MiddleCenter, 0, 1, colors::Gray,
                      colors::ButtonFace, false, Color::rgb(223, 223, 227));
        title->setGradient(true);
        title->setGradientType(GradientType::DoubleVertical);
        title->setDefaultFrom(Color::rgb(16, 132, 208));
        title->setDefaultTo(Color::rgb(113, 184, 255));
        QFont titleFont(QStringLiteral("Liberation Sans"));
        titleFont.setPixelSize(29);
        titleFont.setBold(true);
        title->setFont(titleFont);
        title->setFontColor(colors::White);
        title->setTextShadow(false);
        GradientPanel* bar = makePanel(300, 40, QString(), CaptionPosition::TopLeft, 0, 1, colors::Gray,
                                       colors::ButtonFace, false, Color::rgb(223, 223, 227));
        bar->setGradient(true);
        bar->setGradientType(GradientType::DoubleVertical);
        bar->setDefaultFrom(Color::rgb(0, 159, 0));
        bar->setDefaultTo(Color::rgb(3, 199, 82));
        auto* barButton = makeButton(75, 25, QStringLiteral("Add"), false, Color::rgb(3, 171, 73));
        barButton->setParent(bar);
        barButton->move(8, 8);
        addRow(QStringLiteral("panel"),
               {{QStringLiteral("title"), title}, {QStringLiteral("command-bar"), bar}});

        GradientPanel* list = makePanel(233, 160, QString(), CaptionPosition::TopLeft, 0, 5, colors::Silver,
                                        colors::Silver, true, colors::White);
        GradientPanel* field = makePanel(233, 60, QString(), CaptionPosition::TopLeft, 25, 3, colors::Silver,
                                         colors::Silver, true, colors::White);
        GradientPanel* group =
            makePanel(233, 80, QStringLiteral("&Group box caption"), CaptionPosition::GroupBox, 10, 2,
                      colors::Gray, colors::ButtonFace, true, Color::rgb(223, 223, 227));
        GradientPanel* disabled =
            makePanel(233, 80, QStringLiteral("Disabled & ellipsis in a caption that is long"),
                      CaptionPosition::BottomLeft, 10, 2, colors::Gray, colors::ButtonFace, true,
                      Color::rgb(223, 223, 227));
        disabled->setEnabled(false);
        addRow(QStringLiteral("panel2"), {{QStringLiteral("list-frame"), list},
                                          {QStringLiteral("field-frame"), field},
                                          {QStringLiteral("group-box"), group},
                                          {QStringLiteral("disabled"), disabled}});
    }
    {
        auto* cells = new QLabel;
        cells->setPixmap(QPixmap::fromImage(checkCellImage()).scaled(96 * 2, 39 * 2));
        addRow(QStringLiteral("check-cells"), {{QStringLiteral("x2"), cells}});
    }

    window.show();
    QApplication::processEvents();
    for (const auto& action : actions)
        action();

    if (pngFolder.isEmpty())
        return app.exec();

    QDir().mkpath(pngFolder);
    for (const Sample& sample : samples) {
        const QString file = QDir(pngFolder).filePath(sample.name + QStringLiteral(".png"));
        if (!zoomed(sample.widget->grab()).save(file)) {
            std::fprintf(stderr, "stowmere-gallery: cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    const QString all = QDir(pngFolder).filePath(QStringLiteral("gallery.png"));
    if (!window.grab().save(all)) {
        std::fprintf(stderr, "stowmere-gallery: cannot write %s\n", qPrintable(all));
        return 1;
    }
    std::printf("wrote %zu images and gallery.png to %s\n", samples.size(), qPrintable(pngFolder));
    return 0;
}
