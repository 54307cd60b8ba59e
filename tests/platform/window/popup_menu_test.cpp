// Tests of CPopupMenu: entries keep their ids and texts, submenus open, and the entry the user
// picks is returned.
#include "platform/window/popup_menu.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMenu>
#include <QTest>
#include <QTimer>

#include "tests/platform/window/test_app.h"

namespace {

TEST(PopupMenuTest, EntriesAndPicking) {
  TestApp();
  CPopupMenu menu;
  menu.AppendMenu(kMenuSeparator);
  menu.AppendMenu(kMenuString, 16, "&A propos de Quembrel...");
  menu.AppendMenu(kMenuString, 17, "Second");
  CPopupMenu submenu;
  submenu.AppendMenu(kMenuString, 0x2000, "Inner");
  submenu.AppendMenu(kMenuString, 0x2001, "Inner two");
  menu.AppendSubmenu(submenu, "More");
  ASSERT_EQ(menu.GetMenuItemCount(), 4);
  EXPECT_EQ(menu.GetSubMenu(3), &submenu);
  EXPECT_EQ(menu.GetSubMenu(1), nullptr);
  EXPECT_EQ(menu.GetMenuItemID(3), -1);
  EXPECT_EQ(menu.GetMenuItemID(0), -1);
  EXPECT_EQ(menu.GetMenuItemID(1), 16);
  EXPECT_EQ(menu.GetMenuItemID(7), -1);
  EXPECT_EQ(menu.GetMenuString(1), QStringLiteral("&A propos de Quembrel..."));
  EXPECT_EQ(menu.GetMenuString(-1), QString());

  struct Case {
    std::vector<Qt::Key> keys;
    int picked;
  };
  const Case cases[] = {{{Qt::Key_Down, Qt::Key_Return}, 16},
                        {{Qt::Key_Down, Qt::Key_Down, Qt::Key_Return}, 17},
                        {{Qt::Key_Up, Qt::Key_Right, Qt::Key_Down, Qt::Key_Return}, 0x2001},
                        {{Qt::Key_Escape}, 0}};
  for (const Case& c : cases) {
    QTimer::singleShot(0, [&] {
      // An opened submenu becomes the active pop-up and takes the following keys.
      for (Qt::Key key : c.keys) {
        QWidget* popup = QApplication::activePopupWidget();
        ASSERT_NE(popup, nullptr);
        QTest::keyClick(popup, key);
      }
    });
    EXPECT_EQ(menu.TrackPopupMenu(100, 100, nullptr), c.picked);
  }
}

}  // namespace
