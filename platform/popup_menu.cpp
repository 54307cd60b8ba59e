// CPopupMenu: a context menu over the window system's pop-up menus.
#include "platform/popup_menu.h"

#include <QMenu>

#include "platform/window.h"

void CPopupMenu::AppendMenu(unsigned flags, int id, const char* text) {
  if (flags & kMenuSeparator) {
    items.push_back(Item{kMenuSeparator, 0, QString(), nullptr});
  } else {
    items.push_back(Item{kMenuString, id, QString::fromUtf8(text ? text : ""), nullptr});
  }
}

void CPopupMenu::AppendSubmenu(const CPopupMenu& submenu, const char* text) {
  items.push_back(Item{kMenuPopup, -1, QString::fromUtf8(text ? text : ""), &submenu});
}

int CPopupMenu::GetMenuItemID(int position) const {
  if (position < 0 || position >= GetMenuItemCount() || (items[position].flags & (kMenuSeparator | kMenuPopup))) {
    return -1;
  }
  return items[position].id;
}

QString CPopupMenu::GetMenuString(int position) const {
  if (position < 0 || position >= GetMenuItemCount()) {
    return QString();
  }
  return items[position].text;
}

const CPopupMenu* CPopupMenu::GetSubMenu(int position) const {
  if (position < 0 || position >= GetMenuItemCount()) {
    return nullptr;
  }
  return items[position].submenu;
}

void CPopupMenu::Fill(QMenu& menu) const {
  for (const Item& item : items) {
    if (item.flags & kMenuSeparator) {
      menu.addSeparator();
    } else if (item.submenu != nullptr) {
      item.submenu->Fill(*menu.addMenu(item.text));
    } else {
      menu.addAction(item.text)->setData(item.id);
    }
  }
}

int CPopupMenu::TrackPopupMenu(int screenX, int screenY, CWindow* owner) const {
  QMenu menu(owner != nullptr ? owner->GetWidget() : nullptr);
  Fill(menu);
  const QAction* chosen = menu.exec(QPoint(screenX, screenY));
  return chosen != nullptr ? chosen->data().toInt() : 0;
}
