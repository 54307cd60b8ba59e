// CDialogWindow: the top-level widget of a CDialog. It turns the window system's requests into
// the dialog's operations: Enter and Escape into the dialog's key hook and then its default
// command, a close request into OnClose, a right click on the background into OnContextMenu. It
// also knows when such a call is under way, so that a dialog destroyed from inside one of its own
// handlers lets go of its window only once the handler has returned. A dialog without a caption
// keeps its title bar empty: the window system gets a single space, since Qt would otherwise put
// the program's name there.
#pragma once

#include <QDialog>

class CDialog;

class CDialogWindow : public QDialog {
  Q_OBJECT

 public:
  CDialogWindow(CDialog* owner, QWidget* parent, Qt::WindowFlags flags);

  void Disown() { owner = nullptr; }
  CDialog* Owner() const { return owner; }
  bool InDispatch() const { return dispatchDepth > 0; }

  // Runs `call` on the owning dialog, if it is still there.
  template <typename Call>
  void Dispatch(Call call) {
    if (owner == nullptr) {
      return;
    }
    ++dispatchDepth;
    call(*owner);
    --dispatchDepth;
  }

 protected:
  bool event(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  int DefaultCommandId() const;

  CDialog* owner;
  int dispatchDepth = 0;
};
