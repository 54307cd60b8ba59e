// CBankMenu: the part of a panel's right-click menu that offers the factory bank: one submenu per
// category, one entry per sound or riff, in the bank's order. Each entry's command is
// kFirstCommand plus its position, so the panel can tell a bank entry from its other commands and
// find the file to load.
#pragma once

#include <memory>
#include <vector>

#include "platform/window/popup_menu.h"
#include "bank/bank_catalog.h"

class CBankMenu {
 public:
  // Far above the About box's 16..31.
  static constexpr int kFirstCommand = 0x2000;

  CBankMenu() = default;
  CBankMenu(const CBankMenu&) = delete;
  CBankMenu& operator=(const CBankMenu&) = delete;

  // Fills the menu with the installed bank's entries of this kind; empty when there is no bank.
  void Build(BankKind kind);
  const CPopupMenu& GetMenu() const { return menu; }
  bool IsEmpty() const { return commands.empty(); }
  // The entry a command of this menu stands for, or null for any other command.
  const BankEntry* EntryOf(int command) const;

 private:
  CPopupMenu menu;
  std::vector<std::unique_ptr<CPopupMenu>> categories;
  std::vector<const BankEntry*> commands;
};
