// CDialog: a dialog built from a DialogTemplate, run modally (DoModal, which runs its own event
// loop until EndDialog) or modelessly (Create, then ShowWindow). Panels derive from it, bind their
// knobs in DoDataExchange, set their controls up in OnInitDialog and act on commands in OnCommand
// (for every command, with the control id in the low half of the word parameter and the
// notification code in the high half) and in HandleCommand, their table of push-button handlers,
// which the base OnCommand calls. Enter and Escape come first to OnKeyPress; unhandled, they send
// the default button's command (OK if there is none) and Cancel, whose default handlers end the
// dialog. A close request from the window system goes to OnClose, whose default sends Cancel; a
// dialog without a system menu has no close box and ignores close requests.
#pragma once

#include <Qt>

#include "platform/window/dialog_template.h"
#include "platform/window/message.h"
#include "platform/window/window.h"

class CButton;
class CDialogWindow;
class CIcon;

// Keys passed to OnKeyPress.
constexpr int kKeyEnter = 0x0D;
constexpr int kKeyEscape = 0x1B;

// Check states of check boxes and radio buttons.
constexpr int kUnchecked = 0;
constexpr int kChecked = 1;

class QEventLoop;

class CDialog : public CWindow {
 public:
  explicit CDialog(const DialogTemplate& dialogTemplate, CWindow* parent = nullptr);
  ~CDialog() override;

  // Creates the window, initialises it, shows it and serves events until EndDialog; then destroys
  // the window and returns the value given to EndDialog, or -1 if the window could not be made.
  int DoModal();
  // Creates the window modeless and initialises it; it shows only if its template says visible,
  // otherwise at ShowWindow. False if the window exists already or cannot be made.
  bool Create(CWindow* parent = nullptr);
  // Shows or hides the window as CWindow does; a dialog whose template asks for the foreground is
  // also raised and activated when shown.
  void ShowWindow(int command);
  // Ends a modal dialog with `result`, or hides a modeless one.
  void EndDialog(int result);
  void DestroyWindow();

  virtual bool OnInitDialog();
  virtual void DoDataExchange();
  virtual bool OnCommand(WParam wParam, LParam lParam);
  virtual bool HandleCommand(int id, int code);
  virtual void OnOK();
  virtual void OnCancel();
  virtual void OnClose();
  // Enter or Escape; true when the dialog has handled the key itself.
  virtual bool OnKeyPress(int key);
  // A right click (or the menu key) on the dialog, at a position on the screen.
  virtual void OnContextMenu(int screenX, int screenY);

  QWidget* GetDlgItem(int id) const;
  // The id of the enabled control at a point on the screen, or 0 for none (the background).
  int ControlIdAt(int screenX, int screenY) const;
  void CheckDlgButton(int id, int check);
  int IsDlgButtonChecked(int id) const;
  // Checks `checkId` and unchecks every other check box or radio button with an id in
  // firstId..lastId; a `checkId` outside the range leaves them all unchecked.
  void CheckRadioButton(int firstId, int lastId, int checkId);
  // The same icon serves as the large and the small one.
  void SetIcon(const CIcon& icon, bool big);
  // Binds `button` to this dialog's owner-drawn control `id`; false if there is no such control.
  bool BindControl(int id, CButton& button);

  const DialogTemplate& Template() const { return dialogTemplate; }
  bool IsModal() const { return modalLoop != nullptr; }

  static Qt::WindowFlags WindowFlags(unsigned dialogStyle);
  // The dialog that holds `control`, or null.
  static CDialog* OfControl(const CWindow* control);

 private:
  bool CreateWindowFromTemplate(CWindow* parent);
  void CreateControls(CDialogWindow* window);
  CDialogWindow* Window() const;

  const DialogTemplate& dialogTemplate;
  CWindow* defaultParent;
  QEventLoop* modalLoop = nullptr;
  int modalResult = -1;
  bool ended = false;
};
