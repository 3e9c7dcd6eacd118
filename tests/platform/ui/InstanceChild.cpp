// A program of the window table tests: runs with a title until killed, minimises itself when
// asked, and writes to a report file each time another process brings it to the front; with
// "throw" it ends through an exception nobody catches once its title is published.
#include <QTimer>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>

#include "Forms.h"
#include "UiTest.h"

int main(int argc, char** argv) {
  if (argc < 4) return 2;
  std::string report = argv[2];
  bool minimize = std::string(argv[3]) == "min";
  Application->Initialize();
  TForm* form = nullptr;
  Application->CreateForm(form);
  form->Caption = "child";
  form->OnActivate = nullptr;
  QTimer poll;
  int seen = 0;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (minimize) {
      form->WindowState = wsMinimized;
      minimize = false;
    }
    if (uitest::ForegroundRequests() != seen) {
      seen = uitest::ForegroundRequests();
      std::ofstream(report) << "front " << seen << "\n";
    }
  });
  poll.start(10);
  Application->Title = argv[1];
  if (std::string(argv[3]) == "throw") std::thread([] { throw std::runtime_error("nobody catches this"); }).join();
  Application->Run();
  return 0;
}
