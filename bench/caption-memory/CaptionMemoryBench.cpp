// Peak memory of a window whose combo box, list view cell, label or message box is given one
// text of N MB (as a model's caption or path from an info file can be, up to the 16 MiB bound
// on info files), each case in a fresh process painted offscreen, against the same window with
// short texts. Prints the peak resident memory and the growth over the short texts.
//
//   caption_memory_bench [MB]        (default 10)
#include <stdlib.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "BenchChild.h"
#include "ComCtrls.h"
#include "ExtCtrls.h"
#include "Forms.h"
#include "StdCtrls.h"
#include "UiTest.h"

namespace fs = std::filesystem;

namespace {

const char* const kCases[] = {"short", "combo box", "list view", "label", "message box"};

// One case: the window shown and painted with the long text where the case puts it.
int Show(const std::string& which, size_t bytes) {
  const AnsiString longText(std::string(bytes, 'W'));
  auto text = [&](const char* here) { return which == here ? longText : AnsiString("PAVO S7"); };
  TForm form(nullptr, 0);
  form.SetBounds(0, 0, 640, 480);
  auto* box = new TComboBox(&form);
  box->Parent = &form;
  box->SetBounds(10, 10, 300, 21);
  box->Items->Add(text("combo box"));
  box->ItemIndex = 0;
  auto* list = new TListView(&form);
  list->Parent = &form;
  list->SetBounds(10, 40, 600, 300);
  list->ViewStyle = vsReport;
  list->Columns->Add()->Width = 300;
  list->Items->Add()->Caption = text("list view");
  auto* label = new TLabel(&form);
  label->Parent = &form;
  label->SetBounds(10, 350, 600, 20);
  label->Caption = text("label");
  form.Show();
  TBitmap shot;
  uitest::Grab(&form, &shot);
  uitest::Pump(50);
  if (which == "message box") {
    uitest::SetBoxHook([](HWND window) {
      uitest::Pump(50);
      uitest::PressButton(window, uitest::DescribeWindow(window).buttons.at(0));
    });
    Application->MessageBox(longText.c_str(), "Movrant for Pavo", MB_OK);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--show") == 0) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    return Show(argv[2], std::strtoul(argv[3], nullptr, 10));
  }
  const double mb = argc > 1 ? std::strtod(argv[1], nullptr) : 10;
  const size_t bytes = size_t(mb * 1e6);
  const std::string self = fs::read_symlink("/proc/self/exe").string();
  std::printf("caption memory benchmark: one text of %.1f MB, peak resident memory per case\n", mb);
  std::printf("  %-12s %10s %10s %8s\n", "case", "peak MB", "growth MB", "s");
  long base = 0;
  int status = 0;
  for (const char* which : kCases) {
    const bench::Measure m = bench::RunChild({self, "--show", which, std::to_string(bytes)});
    if (m.status != 0) status = 1;
    if (base == 0) base = m.peakKB;
    std::printf("  %-12s %10.1f %10.1f %8.2f%s\n", which, m.peakKB / 1024.0, (m.peakKB - base) / 1024.0, m.seconds,
                m.status == 0 ? "" : "  (failed)");
  }
  return status;
}
