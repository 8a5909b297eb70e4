// The application object: runs the main window twice, then the process ends.
#pragma once

#include "platform/window/afxwin.h"

class CTickoraApp : public CWinAppEx {
 public:
  CTickoraApp();

  // Runs the main dialog modally, makes it the main window and runs it again.
  // Closing the main window once therefore rebuilds it; closing it a second
  // time ends the program. Always FALSE: the framework's own loop never runs.
  BOOL InitInstance() override;

  DECLARE_MESSAGE_MAP()
};

// The one application object.
extern CTickoraApp theApp;
