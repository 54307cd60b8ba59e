// CIcon: a program icon in several sizes, loaded from the compiled-in resources by its resource
// number; used as a window icon and drawn by static icon controls.
#pragma once

#include <QIcon>

class CIcon {
 public:
  CIcon() = default;
  CIcon(const CIcon&) = delete;
  CIcon& operator=(const CIcon&) = delete;

  // Loads every size of icon resource `id` that exists; false if there is none.
  bool LoadResource(int id);
  bool IsLoaded() const { return !icon.isNull(); }
  const QIcon& Icon() const { return icon; }

  // The sizes, in pixels, in which icons may be stored.
  static constexpr int kSizes[] = {16, 24, 32, 48, 64, 128, 256};
  static QString ResourcePath(int id, int size);

 private:
  QIcon icon;
};
