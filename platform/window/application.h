// CApplication: the base of the program's one application object. Run makes the window system's
// application and hands over to InitInstance, in which the program runs its main dialog; OnExit
// follows while the window system is still there. Without a display Run says so in one line on
// the error stream and fails, rather than letting the window system abort the process. While the
// program runs, SIGINT, SIGTERM and SIGHUP come to OnQuitSignal on the event loop's thread.
#pragma once

class CWindow;

class CApplication {
 public:
  CApplication() = default;
  CApplication(const CApplication&) = delete;
  CApplication& operator=(const CApplication&) = delete;
  virtual ~CApplication() = default;

  // The process exit status: 0 once InitInstance has run, 1 when no display can be opened.
  int Run(int argc, char** argv);

  // The program's whole run; the return value tells whether the program goes on afterwards, and
  // here it never does.
  virtual bool InitInstance() = 0;
  virtual void OnExit() {}
  // A signal asked the program to end. The default ends every event loop running, modal
  // dialogs' included, so that InitInstance returns and the program exits with status 0; a
  // program closes its windows first.
  virtual void OnQuitSignal();

  void SetMainWindow(CWindow* window) { mainWindow = window; }
  CWindow* GetMainWindow() const { return mainWindow; }

  // Whether the environment names a display or a window-system platform to use.
  static bool HasDisplay();

 private:
  CWindow* mainWindow = nullptr;
};
