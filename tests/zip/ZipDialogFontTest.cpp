// The zip dialog box takes the system's message font from the non-client metrics.
#include <gtest/gtest.h>

#include <memory>

#include "ZipDialogBox.h"
#include "windows.h"

extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig\n"; }

namespace {

TEST(ZipDialogFont, TheBoxUsesTheSystemsMessageFont) {
  NONCLIENTMETRICSA m{};
  m.cbSize = sizeof m;
  ASSERT_TRUE(SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof m, &m, 0));
  std::unique_ptr<TZipDialogBox> box(TZipDialogBox::CreateNew(Application, 0x110000 | 10001));
  EXPECT_EQ(AnsiString(box->Font->Name), AnsiString(m.lfMessageFont.lfFaceName));
  EXPECT_EQ(int(box->Font->Height), int(m.lfMessageFont.lfHeight));
  // The dialog units are measured with it.
  TForm probe(nullptr, 0);
  probe.Canvas->Font->Name = m.lfMessageFont.lfFaceName;
  probe.Canvas->Font->Height = m.lfMessageFont.lfHeight;
  EXPECT_EQ(box->AvDlgCharHeight, probe.Canvas->TextHeight("ABCDEFGHIJKLMNOPQRSTUVWXYZ abcdefghijklmnopqrstuvwxy 0123456789:"));
}

}  // namespace
