// CPopupMenu: a small menu of commands shown at a point on the screen, for what other desktops put
// in a window's system menu (the synth panel's About entry) and offer here on a right click.
// An entry may open a submenu, which the caller owns and keeps alive as long as this menu.
#pragma once

#include <QString>
#include <vector>

class CWindow;
class QMenu;

constexpr unsigned kMenuString = 0x0;
// Shown but not choosable, for an entry that only tells something.
constexpr unsigned kMenuGrayed = 0x1;
constexpr unsigned kMenuChecked = 0x8;
constexpr unsigned kMenuSeparator = 0x800;
constexpr unsigned kMenuPopup = 0x10;

class CPopupMenu {
 public:
  CPopupMenu() = default;
  CPopupMenu(const CPopupMenu&) = delete;
  CPopupMenu& operator=(const CPopupMenu&) = delete;

  // Adds an entry; an ampersand in `text` marks its mnemonic. Separators take no id or text.
  void AppendMenu(unsigned flags, int id = 0, const char* text = nullptr);
  // Adds an entry that opens `submenu`.
  void AppendSubmenu(const CPopupMenu& submenu, const char* text);
  int GetMenuItemCount() const { return static_cast<int>(items.size()); }
  int GetMenuItemID(int position) const;
  QString GetMenuString(int position) const;
  // The submenu the entry opens, or null.
  const CPopupMenu* GetSubMenu(int position) const;
  // Gives the entry with `id` a check mark or an empty check box; false when there is none.
  bool CheckMenuItem(int id, bool checked);
  bool IsMenuItemChecked(int id) const;
  // Gives the entry with `id` new text; false when there is none.
  bool SetMenuItemText(int id, const char* text);

  // Shows the menu at (screenX, screenY) until the user picks an entry or dismisses it; returns
  // the entry's id, or 0 when none was picked.
  int TrackPopupMenu(int screenX, int screenY, CWindow* owner) const;

 private:
  struct Item {
    unsigned flags;
    int id;
    QString text;
    const CPopupMenu* submenu;
    bool checkable = false;
  };
  void Fill(QMenu& menu) const;
  std::vector<Item> items;
};
