// CPluginWindow: the panels' placement, embedding, and the host's port values shown.
#include "ui/lv2/plugin_window.h"

#include <QLabel>
#include <QTimer>
#include <QWidget>
#include <QWindow>

CPluginWindow::CPluginWindow(LV2UI_Write_Function write, LV2UI_Controller controller, LV2_URID_Map* map)
    : modules(write, controller, map) {}

// The panels go before the widget that holds them, so each takes its own window down.
CPluginWindow::~CPluginWindow() {
  riffPanel.reset();
  synthPanel.reset();
  container.reset();
  hostWindow.reset();
}

std::uintptr_t CPluginWindow::Open(std::uintptr_t parent, const LV2UI_Resize* resize) {
  container = std::make_unique<QWidget>();
  container->setWindowTitle(QStringLiteral("Quembrel"));
  const PanelServices services{nullptr, OutputMode::kClassic, &CFilePicker::ShowDialog, &modules, {}, {}};
  synthPanel = std::make_unique<CSynthPanel>(services);
  riffPanel = std::make_unique<CRiffPanel>(services);
  if (!synthPanel->Create() || !riffPanel->Create()) return 0;
  QWidget* synth = synthPanel->GetWidget();
  QWidget* riff = riffPanel->GetWidget();
  for (QWidget* panel : {synth, riff}) {
    panel->setParent(container.get(), Qt::Widget);
  }
  synth->move(0, 0);
  riff->move(synth->width(), 0);
  followHostLine = new QLabel(QString::fromUtf8(kFollowHostText), container.get());
  followHostLine->setWordWrap(true);
  followHostLine->setGeometry(synth->width() + 8, riff->height() + 8, riff->width() - 16, 48);
  synth->show();
  riff->show();
  const int width = synth->width() + riff->width();
  const int height = std::max(synth->height(), riff->height());
  container->setFixedSize(width, height);
  Refresh();

  const WId id = container->winId();
  if (parent != 0) {
    hostWindow.reset(QWindow::fromWinId(static_cast<WId>(parent)));
    container->windowHandle()->setParent(hostWindow.get());
  }
  container->show();
  if (resize != nullptr) resize->ui_resize(resize->handle, width, height);
  return static_cast<std::uintptr_t>(id);
}

void CPluginWindow::PortEvent(std::uint32_t port, std::uint32_t size, std::uint32_t format, const void* buffer) {
  if (format != 0 || size != sizeof(float) || buffer == nullptr) return;
  const bool moved = modules.PortEvent(port, *static_cast<const float*>(buffer));
  if (port == static_cast<std::uint32_t>(kStepPort) && riffPanel != nullptr) {
    riffPanel->UpdateStepLight();
  }
  // A preset moves many ports at once: the panels are brought up to date once, after them all.
  if (moved && !refreshDue && container != nullptr) {
    refreshDue = true;
    QTimer::singleShot(0, container.get(), [this] { Refresh(); });
  }
}

void CPluginWindow::Refresh() {
  refreshDue = false;
  if (synthPanel != nullptr) synthPanel->RefreshControls();
  if (riffPanel != nullptr) riffPanel->RefreshControls();
  if (followHostLine != nullptr) followHostLine->setVisible(modules.FollowsHost());
}
