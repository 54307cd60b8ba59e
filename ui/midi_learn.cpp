// MIDI learn: the bindings, their settings, the hand-over of control changes and their menu.
#include "ui/midi_learn.h"

#include <QSettings>
#include <QString>

#include "platform/window/popup_menu.h"
#include "ui/synth_panel.h"

namespace {

QString KeyOf(int controller) { return QStringLiteral("cc%1").arg(controller); }

}  // namespace

CMidiLearn::CMidiLearn(CNoteTarget& target) : notes(target) {}

void CMidiLearn::Start(CControllerPanel& synth, CControllerPanel& riff) {
  panels = {&synth, &riff};
  QSettings settings(CSynthPanel::kSettingsOrganization, CSynthPanel::kSettingsApplication);
  settings.beginGroup(kSettingsGroup);
  for (int controller = 0; controller < kControllers; ++controller) {
    const QString kept = settings.value(KeyOf(controller)).toString();
    const int slash = kept.indexOf(QLatin1Char('/'));
    CControllerPanel* panel = slash > 0 ? PanelNamed(kept.left(slash).toStdString()) : nullptr;
    const int id = panel != nullptr ? panel->LearnControlNamed(kept.mid(slash + 1).toStdString()) : 0;
    if (id != 0 && ControllerOf(*panel, id) == kNoController) bindings[controller] = {panel, id};
  }
  UpdatePolling();
}

// The queue is drained only while a control change can do something, a control being learnt or
// one bound, so that without MIDI learn in use no timer wakes the program. Changes that came
// meanwhile are dropped, so a learn binds the first controller moved after it was asked for.
void CMidiLearn::UpdatePolling() {
  bool wanted = learning.panel != nullptr;
  for (const Binding& binding : bindings) wanted = wanted || binding.panel != nullptr;
  if (wanted == pollTimer.IsActive()) return;
  if (wanted) {
    Change stale;
    while (changes.Pop(stale)) {
    }
    pollTimer.Start(kPollIntervalMs, [this] { Poll(); });
  } else {
    pollTimer.Stop();
  }
}

CControllerPanel* CMidiLearn::PanelNamed(const std::string& name) const {
  for (CControllerPanel* panel : panels) {
    if (panel != nullptr && name == panel->LearnPanelName()) return panel;
  }
  return nullptr;
}

void CMidiLearn::FillMenu(CPopupMenu& menu, const CControllerPanel& panel, int controlId) const {
  menu.AppendMenu(kMenuString, kLearnCommand, "Learn MIDI controller");
  if (ControllerOf(panel, controlId) != kNoController) {
    menu.AppendMenu(kMenuString, kForgetCommand, "Forget MIDI controller");
  }
}

void CMidiLearn::OnMenuCommand(CControllerPanel& panel, int controlId, int command) {
  if (command == kLearnCommand) Learn(panel, controlId);
  if (command == kForgetCommand) Forget(panel, controlId);
}

void CMidiLearn::Learn(CControllerPanel& panel, int controlId) {
  if (!panel.LearnName(controlId).empty()) learning = {&panel, controlId};
  UpdatePolling();
}

void CMidiLearn::Forget(const CControllerPanel& panel, int controlId) {
  const int controller = ControllerOf(panel, controlId);
  if (controller != kNoController) Unbind(controller);
  if (learning.panel == &panel && learning.controlId == controlId) learning = {};
  UpdatePolling();
}

int CMidiLearn::ControllerOf(const CControllerPanel& panel, int controlId) const {
  for (int controller = 0; controller < kControllers; ++controller) {
    if (bindings[controller].panel == &panel && bindings[controller].controlId == controlId) return controller;
  }
  return kNoController;
}

void CMidiLearn::ControlChange(int controller, int value) {
  if (controller < 0 || controller >= kControllers || value < 0 || value > CControllerPanel::kControllerMax) return;
  // A full queue drops the change: the controller's next one moves the control again.
  changes.Push({static_cast<std::uint8_t>(controller), static_cast<std::uint8_t>(value)});
}

void CMidiLearn::Poll() {
  Change change;
  while (changes.Pop(change)) {
    if (learning.panel != nullptr) {
      Bind(change.controller, *learning.panel, learning.controlId);
      learning = {};
    }
    const Binding& bound = bindings[change.controller];
    if (bound.panel != nullptr) bound.panel->ApplyController(bound.controlId, change.value);
  }
}

void CMidiLearn::Bind(int controller, CControllerPanel& panel, int controlId) {
  const int earlier = ControllerOf(panel, controlId);
  if (earlier != kNoController) Unbind(earlier);
  bindings[controller] = {&panel, controlId};
  QSettings settings(CSynthPanel::kSettingsOrganization, CSynthPanel::kSettingsApplication);
  settings.beginGroup(kSettingsGroup);
  settings.setValue(KeyOf(controller),
                    QString::fromStdString(std::string(panel.LearnPanelName()) + "/" + panel.LearnName(controlId)));
}

void CMidiLearn::Unbind(int controller) {
  bindings[controller] = {};
  QSettings settings(CSynthPanel::kSettingsOrganization, CSynthPanel::kSettingsApplication);
  settings.beginGroup(kSettingsGroup);
  settings.remove(KeyOf(controller));
}
