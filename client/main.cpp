// The program's entry: the GTK backend, the resources and the log-on entry's
// look, then the application.
#include <cstdio>

#include "client/quoteworker.h"
#include "client/resources.h"
#include "client/tickora.h"
#include "platform/system/module.h"
#include "platform/system/registry.h"

int main(int argc, char **argv) {
  SetProgramArguments(argc, argv);
  if (!AfxSetBackend(BACKEND_GTK)) {
    std::fprintf(stderr, "tickora: cannot open the X display\n");
    return 1;
  }
  TrustQuoteFeed();
  // Resources next to the program (build folder) or in the installed tree.
  SetResourceFolder(FindResourceFolder());
  RegisterClientResources();
  // The log-on entry shows the program's name and icon.
  SetAutostartIdentity(L"Tickora", ResourceFilePath(kProgramIconFile).GetString());
  // The main window's two modal runs are the program's life; InitInstance
  // always answers FALSE, so the framework's own loop never runs.
  if (theApp.InitInstance()) theApp.Run();
  return theApp.ExitInstance();
}
