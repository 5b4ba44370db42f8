// SPDX-License-Identifier: GPL-3.0-or-later
// A right-to-left locale reads the window from its right edge: the lists, the panels, the
// bar and the drawn controls come mirrored, and what a click toggles moves with them.
#include "AppFixture.h"
#include "app/CheckListBox.h"
#include "app/Translations.h"
#include "controls/GradientButton.h"
#include "controls/GradientCheckBox.h"
#include "controls/Image24.h"

#include <QApplication>
#include <QDir>
#include <QTest>

#include <optional>

using namespace stowmere;
using namespace stowmere::app;
using namespace stowmere::app::testing;
using controls::Image24;

namespace {

// Where glyph is drawn, pixel for pixel, in face: the left edge, or nothing when it is not
// there. The glyph's bottom-left colour is transparent.
std::optional<int> glyphLeft(const Image24& face, const QImage& glyphImage)
{
    const Image24 glyph = Image24::fromQImage(glyphImage);
    const controls::Color transparent = glyph.pixel(0, glyph.height() - 1);
    for (int top = 0; top + glyph.height() <= face.height(); ++top) {
        for (int left = 0; left + glyph.width() <= face.width(); ++left) {
            bool matches = true;
            for (int y = 0; matches && y < glyph.height(); ++y) {
                for (int x = 0; matches && x < glyph.width(); ++x) {
                    const controls::Color colour = glyph.pixel(x, y);
                    matches = colour == transparent || face.pixel(left + x, top + y) == colour;
                }
            }
            if (matches)
                return left;
        }
    }
    return std::nullopt;
}

class RightToLeft : public AppFixture {
protected:
    void SetUp() override
    {
        // No translation into Arabic: the texts stay English, the direction follows the locale.
        m_translations.install(QLocale(QLocale::Arabic, QLocale::Egypt));
        ASSERT_EQ(QGuiApplication::layoutDirection(), Qt::RightToLeft);
    }

    Translations m_translations;
};

TEST_F(RightToLeft, TheWindowReadsFromItsRightEdge)
{
    start();
    EXPECT_EQ(main->layoutDirection(), Qt::RightToLeft);
    // The sets first, then the items, then their commands: right to left.
    EXPECT_GT(widget("setPanel")->x(), widget("pathPanel")->x());
    EXPECT_GT(widget("pathPanel")->x(), widget("commandPanel")->x());
    EXPECT_EQ(widget("commandPanel")->x(), 0);

    // The bar in reading order from its right edge, Exit at its far (left) end.
    const QWidget* bar = widget("buttonBar");
    const QWidget* add = widget("addSetButton");
    EXPECT_EQ(bar->width() - add->geometry().right() - 1, 8);
    QList<const QWidget*> order;
    for (const char* name : {"addSetButton", "deleteSetButton", "toolsButton", "selectAllBox",
                             "incrementalBox", "helpButton", "exitButton"})
        order << widget(name);
    for (qsizetype i = 1; i < order.size(); ++i)
        EXPECT_LT(order[i]->geometry().right(), order[i - 1]->x())
            << order[i]->objectName().toStdString() << " is not left of "
            << order[i - 1]->objectName().toStdString();
    EXPECT_GE(widget("exitButton")->x(), 0);

    // Resizing keeps the mirror: the first control stays at the right edge.
    main->resize(main->width() + 150, main->height());
    EXPECT_EQ(bar->width() - add->geometry().right() - 1, 8);
    EXPECT_LT(widget("exitButton")->geometry().right(), widget("helpButton")->x());

    // Back to left to right, everything returns to its designed place.
    m_translations.remove();
    QApplication::processEvents();
    EXPECT_EQ(add->x(), 8);
    EXPECT_LT(widget("setPanel")->x(), widget("pathPanel")->x());
}

TEST_F(RightToLeft, TheDrawnControlsPutGlyphAndBoxOnTheReadingSide)
{
    start();
    auto* button = widget<controls::GradientButton>("addFolderButton");
    const std::optional<int> mirrored = glyphLeft(button->renderFace(), button->glyph());
    ASSERT_TRUE(mirrored.has_value());
    EXPECT_GT(*mirrored, button->width() / 2) << "the glyph follows the caption on the right";
    button->setLayoutDirection(Qt::LeftToRight);
    const std::optional<int> designed = glyphLeft(button->renderFace(), button->glyph());
    ASSERT_TRUE(designed.has_value());
    EXPECT_LT(*designed + button->glyph().width(), button->width() / 2);

    // The box is drawn at the right edge, the exact mirror of its left-to-right place.
    auto* box = checkBox("incrementalBox");
    const Image24 rightToLeft = box->renderFace();
    box->setLayoutDirection(Qt::LeftToRight);
    const Image24 leftToRight = box->renderFace();
    for (int y = 0; y < box->height(); ++y) {
        for (int x = 0; x < 16; ++x)
            ASSERT_EQ(rightToLeft.pixel(box->width() - 1 - x, y), leftToRight.pixel(x, y)) << x << "," << y;
    }
}

TEST_F(RightToLeft, AnItemsCheckIsAtItsRightEdgeWhereAClickTogglesIt)
{
    writeFile(folder() + "/docs/letter.txt", "Dear");
    ASSERT_TRUE(QDir().mkpath(folder() + "/backup"));
    start();
    addBackupSet("Docs", folder() + "/backup");
    dialogs.setNextFiles({folder() + "/docs"});
    click("addFilesButton");
    CheckListBox* list = pathList();
    ASSERT_EQ(list->count(), 1);
    const QRect item = list->visualItemRect(list->item(0));
    // The left end is the end of the text now: a click there only highlights.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(item.left() + 9, item.center().y()));
    EXPECT_FALSE(list->checked(0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(item.right() - 9, item.center().y()));
    EXPECT_TRUE(list->checked(0));
}

} // namespace
