// SPDX-License-Identifier: MIT
// The window built from template 102: font, dialog-unit mapping, every control's kind, text,
// rectangle and state, member controls bound to their ids, and the baud list's fill.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QComboBox>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "testenv.h"
#include "ui/qt/comboboxbps.h"
#include "ui/qt/dialogkn.h"
#include "ui/qt/staticex.h"
#include "uitestapp.h"

namespace {

const res::DialogTemplate& Template102() {
    return *res::FindDialogTemplate(IDD_QLXDUO_DIALOG);
}

class TemplateDialog : public CDialogKn {
public:
    TemplateDialog() : CDialogKn(IDD_QLXDUO_DIALOG, nullptr) {
        AttachControl(IDC_BPS_A, m_bpsA);
        AttachControl(IDC_STATUS, m_status);
    }
    CComboBoxBps m_bpsA;
    CStaticEx m_status;
};

struct Units {
    int x;
    int y;
};

// Worked out independently of the code under test: average letter width and font height.
Units ExpectedUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    return {static_cast<int>(std::lround(metrics.horizontalAdvance(letters) / 52.0)), metrics.height()};
}

int Across(int du, const Units& u) {
    return static_cast<int>(std::lround(du * u.x / 4.0));
}
int Down(int du, const Units& u) {
    return static_cast<int>(std::lround(du * u.y / 8.0));
}

class DialogTemplateTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { uitest::EnsureApp(); }
};

TEST_F(DialogTemplateTest, DialogFontIsFirstInstalledJapaneseGothic) {
    TemplateDialog dialog;
    dialog.Create();
    const QStringList installed = QFontDatabase::families();
    QString expected;
    for (const char* face :
         {"ＭＳ ゴシック", "MS Gothic", "IPAGothic", "Noto Sans Mono CJK JP", "Noto Sans CJK JP"}) {
        if (expected.isEmpty() && installed.contains(QString::fromUtf8(face)))
            expected = QString::fromUtf8(face);
    }
    ASSERT_FALSE(expected.isEmpty()) << "no Japanese gothic font installed";
    EXPECT_EQ(QFontInfo(dialog.font()).family(), expected);
    EXPECT_EQ(dialog.font().pointSize(), 9);
    EXPECT_EQ(dialog.windowTitle(), QString::fromUtf8("QLX-DUO設定ユーティリティ"));
}

TEST_F(DialogTemplateTest, ClientAreaIsTemplateSizeAndFixed) {
    TemplateDialog dialog;
    dialog.Create();
    const Units units = ExpectedUnits(dialog.font());
    const QSize expected(Across(280, units), Down(171, units));
    EXPECT_EQ(dialog.size(), expected);
    EXPECT_EQ(dialog.minimumSize(), expected);
    EXPECT_EQ(dialog.maximumSize(), expected);
}

TEST_F(DialogTemplateTest, EveryControlStandsWhereTheTemplatePutsIt) {
    TemplateDialog dialog;
    dialog.Create();
    const Units units = ExpectedUnits(dialog.font());
    int index = 0;
    for (const QObject* child : dialog.children()) {
        const auto* widget = qobject_cast<const QWidget*>(child);
        if (widget == nullptr || widget->isWindow()) continue;
        ASSERT_LT(index, static_cast<int>(Template102().controls.size()));
        const res::ControlTemplate& c = Template102().controls[static_cast<size_t>(index++)];
        SCOPED_TRACE(QString::fromUtf8(c.text).toStdString() + " id " + std::to_string(c.id));
        const QRect g = widget->geometry();
        EXPECT_EQ(g.left(), Across(c.x, units));
        EXPECT_EQ(g.top(), Down(c.y, units));
        EXPECT_EQ(g.left() + g.width(), Across(c.x + c.width, units));
        EXPECT_EQ(widget->isEnabled(), c.enabled);
        if (c.id != IDC_STATIC) {
            EXPECT_EQ(dialog.GetDlgItem(c.id), widget);
        }
        switch (c.kind) {
            case res::ControlKind::DropDownList: {
                auto* list = qobject_cast<const QComboBox*>(widget);
                ASSERT_NE(list, nullptr);
                EXPECT_FALSE(list->isEditable());
                // Closed height is the list's own; the template's height is the opened list.
                EXPECT_LT(g.height(), Down(c.y + c.height, units) - Down(c.y, units));
                break;
            }
            case res::ControlKind::PushButton:
                ASSERT_NE(qobject_cast<const QPushButton*>(widget), nullptr);
                EXPECT_EQ(qobject_cast<const QPushButton*>(widget)->text(),
                          QString::fromUtf8(c.text).replace("\r\n", "\n"));
                EXPECT_EQ(g.top() + g.height(), Down(c.y + c.height, units));
                break;
            case res::ControlKind::GroupBox:
                ASSERT_NE(qobject_cast<const QGroupBox*>(widget), nullptr);
                EXPECT_EQ(qobject_cast<const QGroupBox*>(widget)->title(), QString::fromUtf8(c.text));
                break;
            case res::ControlKind::Static: {
                auto* label = qobject_cast<const QLabel*>(widget);
                ASSERT_NE(label, nullptr);
                EXPECT_EQ(label->text(), QString::fromUtf8(c.text));
                EXPECT_EQ(label->alignment(),
                          (c.centred ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignVCenter);
                EXPECT_EQ(label->frameShadow() == QFrame::Sunken, c.sunken);
                EXPECT_EQ(g.top() + g.height(), Down(c.y + c.height, units));
                break;
            }
        }
    }
    EXPECT_EQ(index, static_cast<int>(Template102().controls.size()));
}

TEST_F(DialogTemplateTest, MemberControlsAreBoundOthersArePlain) {
    TemplateDialog dialog;
    EXPECT_EQ(dialog.GetDlgItem(IDC_BPS_A), nullptr);  // no window yet
    dialog.Create();
    EXPECT_EQ(dialog.GetDlgItem(IDC_BPS_A), &dialog.m_bpsA);
    EXPECT_EQ(dialog.m_bpsA.parentWidget(), &dialog);
    EXPECT_EQ(dialog.GetDlgItem(IDC_STATUS), &dialog.m_status);
    EXPECT_EQ(dialog.m_status.text(), QString::fromUtf8("切断中"));
    const QFont gui = JapaneseGuiFont();
    EXPECT_EQ(QFontInfo(dialog.m_status.font()).family(), QFontInfo(gui).family());
    EXPECT_EQ(QFontInfo(dialog.m_status.font()).pointSize(), 9);
    EXPECT_NE(QFontInfo(dialog.m_status.font()).family(), QFontInfo(dialog.font()).family());
    EXPECT_EQ(dynamic_cast<CComboBoxBps*>(dialog.GetDlgItem(IDC_BPS_B)), nullptr);
    EXPECT_EQ(dialog.GetDlgItem(9999), nullptr);

    if (const char* folder = std::getenv("QLXDUO_GRAB_DIR")) {
        dialog.grab().save(QString::fromUtf8(folder) + "/template102.png");
    }
}

TEST_F(DialogTemplateTest, OpenedListKeepsToTheTemplateHeightAndScrolls) {
    TemplateDialog dialog;
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog, testenv::kHangGuardMs));
    const Units units = ExpectedUnits(dialog.font());
    CComboBoxBps& list = dialog.m_bpsA;  // 28 rates: far more than the height holds
    const res::ControlTemplate& control =
        *std::find_if(Template102().controls.begin(), Template102().controls.end(),
                      [](const res::ControlTemplate& c) { return c.id == IDC_BPS_A; });
    const int expected = Down(control.y + control.height, units) - Down(control.y, units) - list.height();
    EXPECT_EQ(dlgtemplate::OpenedListHeightOf(list), expected);
    list.showPopup();
    QWidget* popup = list.view()->window();
    ASSERT_TRUE(QTest::qWaitFor([&] { return popup->isVisible(); }, testenv::kHangGuardMs));
    EXPECT_EQ(popup->height(), expected);
    EXPECT_GE(popup->y(), list.mapToGlobal(QPoint(0, list.height())).y() - 1) << "opens below the field";
    EXPECT_TRUE(QTest::qWaitFor([&] { return list.view()->verticalScrollBar()->isVisible(); },
                                testenv::kHangGuardMs));
    list.hidePopup();
}

// The rule is CBaudList's (tested in the core); here the Qt list it runs on: filled when bound, each
// rate's code as its item data, and the refill and the selection by code done on what the user sees.
TEST_F(DialogTemplateTest, BaudListFillsOnBindingWithCodesAsItemData) {
    TemplateDialog dialog;
    CComboBoxBps& list = dialog.m_bpsA;
    EXPECT_EQ(list.count(), 0);
    dialog.Create();
    ASSERT_EQ(list.count(), 28);
    EXPECT_EQ(list.itemText(0), "110bps");
    EXPECT_EQ(list.itemText(27), "115200bps");
    EXPECT_EQ(list.currentIndex(), 0);
    EXPECT_EQ(list.itemData(15).toInt(), 44) << "10400bps";
    list.RefillForFirmware(101);
    EXPECT_EQ(list.count(), 26);
    EXPECT_EQ(list.findText("200bps"), -1);
    list.SelectCode(33);
    EXPECT_EQ(list.currentText(), "115200bps");
    EXPECT_EQ(list.GetSelectedCode(), 33);
    list.setCurrentIndex(-1);
    EXPECT_EQ(list.GetSelectedCode(), -1);
}

}  // namespace
