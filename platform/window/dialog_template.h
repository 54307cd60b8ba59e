// The description a dialog is built from: its size, caption and window style, and a table of
// controls, each with its id, kind, caption, rectangle in dialog units and style. The panels write
// their layouts as constant tables of this kind, and CDialog turns them into windows.
#pragma once

enum class ControlKind {
  kGroupBox,
  kStaticText,
  kStaticIcon,
  kPushButton,
  kDefaultPushButton,
  kCheckBox,
  kRadioButton,
  kOwnerDrawButton,
};

// Control styles.
constexpr unsigned kStyleGroup = 0x1;     // starts a group; radio buttons are exclusive within a run
constexpr unsigned kStyleTabStop = 0x2;   // reachable with the Tab key
constexpr unsigned kStyleDisabled = 0x4;  // greyed and deaf to the user
constexpr unsigned kStyleNoPrefix = 0x8;  // static text: show ampersands as typed

// Dialog styles.
constexpr unsigned kDialogVisible = 0x1;        // shown as soon as it is created
constexpr unsigned kDialogCaption = 0x2;        // has a title bar
constexpr unsigned kDialogSystemMenu = 0x4;     // has a close box; without it close requests are ignored
constexpr unsigned kDialogMinimizeBox = 0x8;
constexpr unsigned kDialogAppWindow = 0x10;     // a main window of its own, listed in the task bar
constexpr unsigned kDialogForeground = 0x20;    // raised and activated when shown

struct DialogControl {
  int id;  // 0 or below for controls nobody addresses (frames, fixed texts)
  ControlKind kind;
  const char* caption;
  int x;
  int y;
  int width;
  int height;
  unsigned style;
  int iconId = 0;  // static icons: the icon resource shown
};

struct DialogTemplate {
  const char* caption;
  int width;
  int height;
  unsigned style;
  const DialogControl* controls;
  int controlCount;
};
