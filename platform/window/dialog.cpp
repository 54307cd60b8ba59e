// CDialog: template to widgets, the modal loop and the default command handling.
#include "platform/window/dialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QEventLoop>
#include <QLabel>
#include <QPoint>
#include <QPushButton>

#include "platform/window/auto_radio_button.h"
#include "platform/window/button.h"
#include "platform/window/dialog_units.h"
#include "platform/window/dialog_window.h"
#include "platform/window/group_frame.h"
#include "platform/window/icon.h"
#include "platform/window/owner_draw_button.h"

namespace {

// Static icons show at the desktop's standard icon size, whatever their rectangle says.
constexpr int kStaticIconSize = 32;

// Without the no-prefix style an ampersand marks a mnemonic, which static text does not show.
QString StaticDisplayText(const char* caption, unsigned style) {
  QString text = QString::fromUtf8(caption);
  if (style & kStyleNoPrefix) {
    return text;
  }
  QString shown;
  for (int i = 0; i < text.size(); ++i) {
    if (text[i] == QLatin1Char('&') && i + 1 < text.size()) {
      ++i;
    }
    shown += text[i];
  }
  return shown;
}

}  // namespace

CDialog::CDialog(const DialogTemplate& t, CWindow* parent) : dialogTemplate(t), defaultParent(parent) {}

CDialog::~CDialog() { DestroyWindow(); }

CDialogWindow* CDialog::Window() const { return qobject_cast<CDialogWindow*>(GetWidget()); }

CDialog* CDialog::OfControl(const CWindow* control) {
  for (QWidget* w = control != nullptr ? control->GetWidget() : nullptr; w != nullptr; w = w->parentWidget()) {
    if (auto* window = qobject_cast<CDialogWindow*>(w)) {
      return window->Owner();
    }
  }
  return nullptr;
}

Qt::WindowFlags CDialog::WindowFlags(unsigned style) {
  Qt::WindowFlags flags = (style & kDialogAppWindow) ? Qt::Window : Qt::Dialog;
  flags |= Qt::CustomizeWindowHint;
  if (style & kDialogCaption) {
    flags |= Qt::WindowTitleHint;
  }
  if (style & kDialogSystemMenu) {
    flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
  }
  if (style & kDialogMinimizeBox) {
    flags |= Qt::WindowMinimizeButtonHint;
  }
  return flags;
}

bool CDialog::CreateWindowFromTemplate(CWindow* parent) {
  if (GetWidget() != nullptr || QApplication::instance() == nullptr) {
    return false;
  }
  QWidget* parentWidget = parent != nullptr ? parent->GetWidget() : nullptr;
  auto* window = new CDialogWindow(this, parentWidget, WindowFlags(dialogTemplate.style));
  window->setFont(DialogFont());
  window->setWindowTitle(QString::fromUtf8(dialogTemplate.caption ? dialogTemplate.caption : ""));
  const Rect client = MapDialogRect(0, 0, dialogTemplate.width, dialogTemplate.height);
  window->setFixedSize(client.Width(), client.Height());
  SetWidget(window);
  CreateControls(window);
  ended = false;
  return true;
}

void CDialog::CreateControls(CDialogWindow* window) {
  int run = 0;
  for (int i = 0; i < dialogTemplate.controlCount; ++i) {
    const DialogControl& control = dialogTemplate.controls[i];
    const QString caption = QString::fromUtf8(control.caption ? control.caption : "");
    Rect r = MapDialogRect(control.x, control.y, control.width, control.height);
    if (control.style & kStyleGroup) {
      ++run;
    }
    QWidget* widget = nullptr;
    QAbstractButton* button = nullptr;
    switch (control.kind) {
      case ControlKind::kGroupBox:
        widget = new CGroupFrame(caption, window);
        break;
      case ControlKind::kStaticText: {
        auto* label = new QLabel(StaticDisplayText(control.caption ? control.caption : "", control.style),
                                 window);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        label->setWordWrap(true);
        widget = label;
        break;
      }
      case ControlKind::kStaticIcon: {
        auto* label = new QLabel(window);
        CIcon icon;
        if (icon.LoadResource(control.iconId)) {
          label->setPixmap(icon.Icon().pixmap(QSize(kStaticIconSize, kStaticIconSize),
                                              window->devicePixelRatioF()));
        }
        r.right = r.left + kStaticIconSize;
        r.bottom = r.top + kStaticIconSize;
        widget = label;
        break;
      }
      case ControlKind::kPushButton:
      case ControlKind::kDefaultPushButton: {
        auto* push = new QPushButton(caption, window);
        push->setAutoDefault(false);
        push->setDefault(control.kind == ControlKind::kDefaultPushButton);
        button = push;
        break;
      }
      case ControlKind::kCheckBox:
        button = new QCheckBox(caption, window);
        break;
      case ControlKind::kRadioButton:
        button = new CAutoRadioButton(caption, run, window);
        break;
      case ControlKind::kOwnerDrawButton:
        button = new COwnerDrawButton(control.id, caption, window);
        break;
    }
    if (button != nullptr) {
      widget = button;
      widget->setFocusPolicy((control.style & kStyleTabStop) ? Qt::StrongFocus : Qt::ClickFocus);
      const int id = control.id;
      QObject::connect(button, &QAbstractButton::clicked, window, [window, id] {
        window->Dispatch([id](CDialog& dialog) { dialog.OnCommand(MakeWParam(id, kNotifyClicked), 0); });
      });
    } else {
      widget->setFocusPolicy(Qt::NoFocus);
    }
    CWindow::SetControlId(widget, control.id);
    widget->setGeometry(r.left, r.top, r.Width(), r.Height());
    if (control.style & kStyleDisabled) {
      widget->setEnabled(false);
    }
  }
}

int CDialog::DoModal() {
  if (!CreateWindowFromTemplate(defaultParent)) {
    return -1;
  }
  CDialogWindow* window = Window();
  window->setWindowModality(window->parentWidget() != nullptr ? Qt::WindowModal : Qt::NonModal);
  modalResult = -1;
  QEventLoop loop;
  QObject::connect(window, &QObject::destroyed, &loop, &QEventLoop::quit);
  modalLoop = &loop;
  window->Dispatch([](CDialog& dialog) { dialog.OnInitDialog(); });
  if (!ended && Window() != nullptr) {
    ShowWindow(kShow);
    loop.exec(QEventLoop::DialogExec);
  }
  modalLoop = nullptr;
  DestroyWindow();
  return modalResult;
}

bool CDialog::Create(CWindow* parent) {
  if (!CreateWindowFromTemplate(parent != nullptr ? parent : defaultParent)) {
    return false;
  }
  CDialogWindow* window = Window();
  window->Dispatch([](CDialog& dialog) { dialog.OnInitDialog(); });
  if ((dialogTemplate.style & kDialogVisible) && !ended && Window() != nullptr) {
    ShowWindow(kShowNormal);
  }
  return true;
}

void CDialog::ShowWindow(int command) {
  CWindow::ShowWindow(command);
  QWidget* window = GetWidget();
  if (window != nullptr && command != kShowHide && (dialogTemplate.style & kDialogForeground)) {
    window->raise();
    window->activateWindow();
  }
}

void CDialog::EndDialog(int result) {
  modalResult = result;
  ended = true;
  if (QWidget* window = GetWidget(); window != nullptr) {
    window->hide();
  }
  if (modalLoop != nullptr) {
    modalLoop->exit(result);
  }
}

void CDialog::DestroyWindow() {
  CDialogWindow* window = Window();
  SetWidget(nullptr);
  if (window == nullptr) {
    return;
  }
  window->Disown();
  window->hide();
  if (window->InDispatch()) {
    window->deleteLater();
  } else {
    delete window;
  }
}

bool CDialog::OnInitDialog() {
  DoDataExchange();
  return true;
}

void CDialog::DoDataExchange() {}

bool CDialog::OnCommand(WParam wParam, LParam) { return HandleCommand(LowWord(wParam), HighWord(wParam)); }

bool CDialog::HandleCommand(int id, int code) {
  if (code != kNotifyClicked) {
    return false;
  }
  if (id == kIdOk) {
    OnOK();
    return true;
  }
  if (id == kIdCancel) {
    OnCancel();
    return true;
  }
  return false;
}

void CDialog::OnOK() { EndDialog(kIdOk); }

void CDialog::OnCancel() { EndDialog(kIdCancel); }

void CDialog::OnClose() { OnCommand(MakeWParam(kIdCancel, kNotifyClicked), 0); }

bool CDialog::OnKeyPress(int) { return false; }

void CDialog::OnContextMenu(int, int) {}

QWidget* CDialog::GetDlgItem(int id) const {
  QWidget* window = GetWidget();
  if (window == nullptr) {
    return nullptr;
  }
  const auto children = window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
  for (QWidget* child : children) {
    if (CWindow::ControlId(child) == id) {
      return child;
    }
  }
  return nullptr;
}

int CDialog::ControlIdAt(int screenX, int screenY) const {
  QWidget* window = GetWidget();
  if (window == nullptr) {
    return 0;
  }
  QWidget* child = window->childAt(window->mapFromGlobal(QPoint(screenX, screenY)));
  // A control may be drawn from parts; the control is the dialog's direct child.
  while (child != nullptr && child->parentWidget() != window) {
    child = child->parentWidget();
  }
  return child != nullptr && child->isEnabled() ? CWindow::ControlId(child) : 0;
}

void CDialog::CheckDlgButton(int id, int check) {
  auto* button = qobject_cast<QAbstractButton*>(GetDlgItem(id));
  if (button != nullptr && button->isCheckable()) {
    button->setChecked(check != kUnchecked);
  }
}

int CDialog::IsDlgButtonChecked(int id) const {
  auto* button = qobject_cast<QAbstractButton*>(GetDlgItem(id));
  return button != nullptr && button->isCheckable() && button->isChecked() ? kChecked : kUnchecked;
}

void CDialog::CheckRadioButton(int firstId, int lastId, int checkId) {
  QWidget* window = GetWidget();
  if (window == nullptr) {
    return;
  }
  const auto buttons = window->findChildren<QAbstractButton*>(Qt::FindDirectChildrenOnly);
  for (QAbstractButton* button : buttons) {
    const int id = CWindow::ControlId(button);
    if (button->isCheckable() && id >= firstId && id <= lastId) {
      button->setChecked(id == checkId);
    }
  }
}

void CDialog::SetIcon(const CIcon& icon, bool) {
  if (QWidget* window = GetWidget(); window != nullptr) {
    window->setWindowIcon(icon.Icon());
  }
}

bool CDialog::BindControl(int id, CButton& button) {
  auto* control = qobject_cast<COwnerDrawButton*>(GetDlgItem(id));
  return control != nullptr && button.Attach(control);
}
