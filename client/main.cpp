// The program's entry: the GTK backend, the resources, then the application.
#include <cstdio>

#include "client/quoteworker.h"
#include "client/resources.h"
#include "client/tickora.h"
#include "platform/system/module.h"

int main(int argc, char **argv) {
  SetProgramArguments(argc, argv);
  if (!AfxSetBackend(BACKEND_GTK)) {
    std::fprintf(stderr, "tickora: cannot open the X display\n");
    return 1;
  }
  TrustQuoteFeed();
  RegisterClientResources();
  // The main window's two modal runs are the program's life; InitInstance
  // always answers FALSE, so the framework's own loop never runs.
  if (theApp.InitInstance()) theApp.Run();
  return theApp.ExitInstance();
}
