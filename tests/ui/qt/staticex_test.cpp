// SPDX-License-Identifier: MIT
// CStaticEx on the offscreen platform: colours read back from grabbed pixels, repaint only when
// asked with redraw 1, and the desktop's GUI font whatever its parent's font.
#include <gtest/gtest.h>

#include <QFontDatabase>
#include <QFontInfo>
#include <QImage>
#include <QScreen>
#include <QWidget>
#include <QtTest/QTest>
#include <cstdlib>

#include "testenv.h"
#include "ui/qt/staticex.h"
#include "uitestapp.h"

namespace {

class CountingStatic : public CStaticEx {
public:
    int paints = 0;

protected:
    void paintEvent(QPaintEvent* event) override {
        ++paints;
        CStaticEx::paintEvent(event);
    }
};

QRgb Rgb(COLORREF color) {
    return qRgb(color & 0xFF, color >> 8 & 0xFF, color >> 16 & 0xFF);
}

// Pixels of that colour; text is anti-aliased, so nearly that colour counts too.
int CountPixels(const QImage& image, QRgb color) {
    const auto near = [](int a, int b) { return std::abs(a - b) <= 64; };
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            count +=
                near(qRed(p), qRed(color)) && near(qGreen(p), qGreen(color)) && near(qBlue(p), qBlue(color));
        }
    }
    return count;
}

class StaticExTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { uitest::EnsureApp(); }

    void SetUp() override {
        m_window.setFont(QFont(QStringLiteral("IPAGothic"), 20));
        m_label.setParent(&m_window);
        m_label.setGeometry(10, 10, 160, 30);
        m_label.setText(QStringLiteral("WWWW 切断中"));
        m_window.resize(200, 60);
        m_window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_window, testenv::kHangGuardMs));
    }

    // The pixels last painted into the window, without painting again.
    QImage OnScreen() {
        const QPoint at = m_label.mapTo(&m_window, QPoint(0, 0));
        return m_window.screen()->grabWindow(m_window.winId()).toImage().copy(QRect(at, m_label.size()));
    }

    QWidget m_window;
    CountingStatic m_label;
};

TEST_F(StaticExTest, StartsLikePlainStaticInGuiFont) {
    EXPECT_EQ(m_label.BackColor(), SysColor(QPalette::Button));
    EXPECT_EQ(m_label.TextColor(), SysColor(QPalette::WindowText));
    // The Japanese GUI font at 9 points, whatever the parent's font (IPAGothic at 20 points).
    const QStringList japaneseGothics = {"MS UI Gothic", "IPAPGothic", "Noto Sans CJK JP", "VL PGothic",
                                         "TakaoPGothic"};
    EXPECT_TRUE(japaneseGothics.contains(QFontInfo(m_label.font()).family()))
        << QFontInfo(m_label.font()).family().toStdString();
    EXPECT_EQ(m_label.font().pointSize(), 9);
    const QImage image = m_label.grab().toImage();
    EXPECT_EQ(image.pixel(image.width() - 2, 1) & 0xFFFFFF, Rgb(SysColor(QPalette::Button)) & 0xFFFFFF);
    EXPECT_GT(CountPixels(image, Rgb(SysColor(QPalette::WindowText))), 0);
}

TEST_F(StaticExTest, ColoursShowInPaintedPixels) {
    struct Case {
        COLORREF back;
        COLORREF text;
    };
    const Case cases[] = {
        {RGB(0, 0, 0), RGB(0, 255, 0)},
        {RGB(0, 0, 0), RGB(255, 0, 0)},
        {RGB(0, 0, 0), RGB(255, 255, 0)},
        {RGB(0, 255, 0), SysColor(QPalette::WindowText)},
        {RGB(0x12, 0x34, 0x56), RGB(0xFE, 0xDC, 0xBA)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.back);
        m_label.SetBackColor(c.back, 1).SetForeColor(c.text, 1);
        const QImage image = OnScreen();
        EXPECT_EQ(image.pixel(0, 0) & 0xFFFFFF, Rgb(c.back) & 0xFFFFFF);
        EXPECT_EQ(image.pixel(image.width() - 1, image.height() - 1) & 0xFFFFFF, Rgb(c.back) & 0xFFFFFF);
        EXPECT_GT(CountPixels(image, Rgb(c.text)), 0);
    }
    EXPECT_EQ(RGB(255, 0, 0), 0x0000FFu);
    EXPECT_EQ(RGB(0, 255, 0), 0x00FF00u);
    EXPECT_EQ(RGB(255, 255, 0), 0x00FFFFu);
}

TEST_F(StaticExTest, RepaintsBeforeReturnOnlyForRedrawOne) {
    m_label.SetBackColor(RGB(0, 0, 0), 1).SetForeColor(RGB(0, 255, 0), 1);
    struct Case {
        bool back;
        int redraw;
        int paints;
    };
    const Case cases[] = {{true, 1, 1},  {false, 1, 1}, {true, 0, 0},
                          {false, 0, 0}, {true, 2, 0},  {false, -1, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << (c.back ? "back " : "fore ") << c.redraw);
        const QImage before = OnScreen();
        m_label.paints = 0;
        const COLORREF colour = RGB(255, 0, 0);
        if (c.back) {
            m_label.SetBackColor(colour, c.redraw);
        } else {
            m_label.SetForeColor(colour, c.redraw);
        }
        EXPECT_EQ(m_label.paints, c.paints);
        const QImage after = OnScreen();
        EXPECT_EQ(after == before, c.paints == 0);
        // The next paint shows the stored colour either way.
        m_label.repaint();
        EXPECT_GT(CountPixels(OnScreen(), Rgb(colour)), 0);
        m_label.SetBackColor(RGB(0, 0, 0), 1).SetForeColor(RGB(0, 255, 0), 1);
    }
}

}  // namespace
