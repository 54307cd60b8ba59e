// What the panel tests of the bank menus share: the entries a bank menu lists, and the names and
// values the bank's texts give, read from the texts themselves rather than from the built files.
#pragma once

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/window/popup_menu.h"
#include "bank/bank_text.h"

// One entry of a bank menu ("Presets", "Riffs"): its category's title, its text and its command.
struct BankMenuItem {
  std::string category;
  std::string name;
  int id;
};

inline std::vector<BankMenuItem> BankMenuItems(const CPopupMenu& bankMenu) {
  std::vector<BankMenuItem> items;
  for (int c = 0; c < bankMenu.GetMenuItemCount(); ++c) {
    const CPopupMenu* category = bankMenu.GetSubMenu(c);
    for (int i = 0; category != nullptr && i < category->GetMenuItemCount(); ++i) {
      items.push_back({bankMenu.GetMenuString(c).toStdString(), category->GetMenuString(i).toStdString(),
                       category->GetMenuItemID(i)});
    }
  }
  return items;
}

inline std::filesystem::path BankTextFolder(BankKind kind) {
  return std::filesystem::path(QUEMBREL_BANK_SOURCE) / (kind == BankKind::kSound ? "sounds" : "riffs");
}

// "Category title/name" for every text of one kind, in menu order.
inline std::vector<std::string> BankTextNames(BankKind kind) {
  std::vector<std::string> names;
  for (const BankCategory& category : kBankCategories) {
    std::vector<std::string> inCategory;
    for (const auto& item : std::filesystem::directory_iterator(BankTextFolder(kind))) {
      BankText text;
      std::string error;
      if (ReadBankText(item.path().string(), text, error) && text.category == &category) {
        inCategory.push_back(std::string(category.title) + "/" + text.name);
      }
    }
    std::sort(inCategory.begin(), inCategory.end());
    names.insert(names.end(), inCategory.begin(), inCategory.end());
  }
  return names;
}

// The values a text gives, defaults filled in; empty if the text is refused.
inline std::vector<ParamValue> BankTextValues(BankKind kind, const std::string& name) {
  BankText text;
  std::string error;
  return ReadBankText((BankTextFolder(kind) / (name + ".txt")).string(), text, error) ? text.values
                                                                                       : std::vector<ParamValue>{};
}
