// Building the bank's submenus from the installed catalog.
#include "ui/bank_menu.h"

void CBankMenu::Build(BankKind kind) {
  const CBankCatalog& bank = CBankCatalog::Installed();
  for (const BankCategory& category : kBankCategories) {
    if (category.kind != kind) continue;
    auto submenu = std::make_unique<CPopupMenu>();
    for (const BankEntry& entry : bank.GetEntries()) {
      if (entry.category != &category) continue;
      submenu->AppendMenu(kMenuString, kFirstCommand + static_cast<int>(commands.size()), entry.name.c_str());
      commands.push_back(&entry);
    }
    if (submenu->GetMenuItemCount() == 0) continue;
    menu.AppendSubmenu(*submenu, category.title);
    categories.push_back(std::move(submenu));
  }
}

const BankEntry* CBankMenu::EntryOf(int command) const {
  const int position = command - kFirstCommand;
  if (position < 0 || position >= static_cast<int>(commands.size())) return nullptr;
  return commands[static_cast<std::size_t>(position)];
}
