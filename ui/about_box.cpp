// CAboutBox: its layout.
#include "ui/about_box.h"

#include "ui/resources.h"

namespace {

const DialogControl kAboutControls[] = {
    {-1, ControlKind::kStaticIcon, nullptr, 11, 17, 20, 20, 0, kProgramIconId},
    {-1, ControlKind::kStaticText, "Quembrel version 1.0", 40, 10, 119, 8, kStyleNoPrefix},
    {-1, ControlKind::kStaticText, CAboutBox::kWebAddress, 40, 25, 119, 8, 0},
    {kIdOk, ControlKind::kDefaultPushButton, "OK", 178, 7, 50, 14, kStyleGroup | kStyleTabStop},
};

const DialogTemplate kAboutTemplate = {
    "A propos de Quembrel", 235, 55, kDialogCaption | kDialogSystemMenu, kAboutControls,
    static_cast<int>(sizeof(kAboutControls) / sizeof(kAboutControls[0])),
};

}  // namespace

CAboutBox::CAboutBox(CWindow* parent) : CDialog(kAboutTemplate, parent) {}
