// The bank's categories: the word a text's "Category:" line uses, whether its entries are sounds
// (presets) or riffs, and the title of the menu that lists them. The order here is the order of
// the menus and of the bank listing.
#pragma once

#include <string_view>

enum class BankKind { kSound, kRiff };

struct BankCategory {
  const char* word;
  BankKind kind;
  const char* title;
};

inline constexpr BankCategory kBankCategories[] = {
    {"bass", BankKind::kSound, "Basses"},
    {"lead", BankKind::kSound, "Leads"},
    {"pluck", BankKind::kSound, "Plucks"},
    {"pad", BankKind::kSound, "Pads"},
    {"keys", BankKind::kSound, "Keys"},
    {"fx", BankKind::kSound, "Percussion and effects"},
    {"sequence", BankKind::kSound, "Riff sounds"},
    {"bassline", BankKind::kRiff, "Basslines"},
    {"arpeggio", BankKind::kRiff, "Arpeggios"},
    {"melody", BankKind::kRiff, "Melodies"},
};

// The category with this word, or null.
inline const BankCategory* FindBankCategory(std::string_view word) {
  for (const BankCategory& category : kBankCategories) {
    if (word == category.word) return &category;
  }
  return nullptr;
}
