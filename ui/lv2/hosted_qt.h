// CHostedQt: Qt inside a host program that loaded the plugin window. A host that runs Qt 6 Widgets
// itself lends its application object and drives it; otherwise the first window makes one and
// keeps it for the rest of the process (Qt allows one per process, and cannot make a second after
// the first is gone), and the host's idle calls drive it. A process that holds Qt 5 cannot hold Qt
// 6 widgets beside it: the panels are then refused (and a notice shown in their place).
#pragma once

class CHostedQt {
 public:
  // Whether a window can be shown in this process; makes the application object when needed.
  static bool Ready();
  // One turn of the event loop, unless the host drives Qt itself.
  static void Idle();
};
