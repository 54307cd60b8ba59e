// CPopupMenu: a context menu over the window system's pop-up menus.
#include "platform/window/popup_menu.h"

#include <QMenu>

#include "platform/window/window.h"

void CPopupMenu::AppendMenu(unsigned flags, int id, const char* text) {
  if (flags & kMenuSeparator) {
    items.push_back(Item{kMenuSeparator, 0, QString(), nullptr});
  } else {
    items.push_back(Item{flags & (kMenuChecked | kMenuGrayed), id, QString::fromUtf8(text ? text : ""), nullptr,
                         (flags & kMenuChecked) != 0});
  }
}

void CPopupMenu::AppendSubmenu(const CPopupMenu& submenu, const char* text) {
  items.push_back(Item{kMenuPopup, -1, QString::fromUtf8(text ? text : ""), &submenu});
}

bool CPopupMenu::CheckMenuItem(int id, bool checked) {
  for (Item& item : items) {
    if (!(item.flags & kMenuSeparator) && item.id == id) {
      item.checkable = true;
      item.flags = checked ? (item.flags | kMenuChecked) : (item.flags & ~kMenuChecked);
      return true;
    }
  }
  return false;
}

bool CPopupMenu::IsMenuItemChecked(int id) const {
  for (const Item& item : items) {
    if (!(item.flags & kMenuSeparator) && item.id == id) return (item.flags & kMenuChecked) != 0;
  }
  return false;
}

bool CPopupMenu::SetMenuItemText(int id, const char* text) {
  for (Item& item : items) {
    if (!(item.flags & (kMenuSeparator | kMenuPopup)) && item.id == id) {
      item.text = QString::fromUtf8(text ? text : "");
      return true;
    }
  }
  return false;
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
      QAction* action = menu.addAction(item.text);
      action->setData(item.id);
      action->setEnabled((item.flags & kMenuGrayed) == 0);
      if (item.checkable) {
        action->setCheckable(true);
        action->setChecked((item.flags & kMenuChecked) != 0);
      }
    }
  }
}

int CPopupMenu::TrackPopupMenu(int screenX, int screenY, CWindow* owner) const {
  QMenu menu(owner != nullptr ? owner->GetWidget() : nullptr);
  Fill(menu);
  const QAction* chosen = menu.exec(QPoint(screenX, screenY));
  return chosen != nullptr ? chosen->data().toInt() : 0;
}
