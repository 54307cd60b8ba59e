// CPopupMenu: a context menu over the window system's pop-up menus.
#include "platform/popup_menu.h"

#include <QMenu>

#include "platform/window.h"

void CPopupMenu::AppendMenu(unsigned flags, int id, const char* text) {
  if (flags & kMenuSeparator) {
    items.push_back(Item{kMenuSeparator, 0, QString()});
  } else {
    items.push_back(Item{kMenuString, id, QString::fromUtf8(text ? text : "")});
  }
}

int CPopupMenu::GetMenuItemID(int position) const {
  if (position < 0 || position >= GetMenuItemCount() || (items[position].flags & kMenuSeparator)) {
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

int CPopupMenu::TrackPopupMenu(int screenX, int screenY, CWindow* owner) const {
  QMenu menu(owner != nullptr ? owner->GetWidget() : nullptr);
  for (const Item& item : items) {
    if (item.flags & kMenuSeparator) {
      menu.addSeparator();
    } else {
      menu.addAction(item.text)->setData(item.id);
    }
  }
  const QAction* chosen = menu.exec(QPoint(screenX, screenY));
  return chosen != nullptr ? chosen->data().toInt() : 0;
}
