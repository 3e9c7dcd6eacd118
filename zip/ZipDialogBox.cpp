#include "ZipDialogBox.h"

#include <cstring>

#include "ZipMsg.h"
#include "windows.h"

namespace {

// By icon kind: 0 warning, 1 error, 2 information, 3 confirmation, 4 and above none.
struct TIconBeep {
  LPCSTR icon;
  unsigned beep;
};
const TIconBeep kIconBeep[5] = {
    {IDI_EXCLAMATION, MB_ICONEXCLAMATION},
    {IDI_HAND, MB_ICONHAND},
    {IDI_ASTERISK, MB_ICONASTERISK},
    {IDI_QUESTION, MB_ICONQUESTION},
    {nullptr, 0},
};

const TModalResult kModalResults[] = {mrYes, mrNo, mrOk, mrCancel, mrAbort, mrRetry, mrIgnore, mrAll, mrNoToAll,
                                      mrYesToAll};

constexpr int kHMargin = 8, kVMargin = 8, kHSpacing = 10, kVSpacing = 10, kButtonWidth = 50, kButtonHeight = 14,
              kButtonSpacing = 4;

// Offset of the message font in the non-client metrics, and the parts of a font description.
constexpr int kMetricsSize = 340, kMessageFontAt = 280, kFaceNameAt = 28, kFaceNameSize = 32;

}  // namespace

TZipDialogBox::TZipDialogBox(TComponent* owner, int context) : TForm(owner, 0) {
  uint8_t metrics[kMetricsSize] = {};
  const uint32_t size = kMetricsSize;
  std::memcpy(metrics, &size, 4);
  if (SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, kMetricsSize, metrics, 0)) {
    int32_t height;
    std::memcpy(&height, metrics + kMessageFontAt, 4);
    char face[kFaceNameSize + 1] = {};
    std::memcpy(face, metrics + kMessageFontAt + kFaceNameAt, kFaceNameSize);
    if (face[0]) Font->Name = face;
    if (height) Font->Height = height;
  }

  FContext = (context & 0x1F0000) == 0 ? context | (0x10 << 16) : context;

  char sample[65];
  int n = 0;
  for (char c = 'A'; c <= 'Z'; ++c) sample[n++] = c;
  sample[n++] = ' ';
  for (char c = 'a'; c <= 'y'; ++c) sample[n++] = c;
  sample[n++] = ' ';
  for (char c = '0'; c <= '9'; ++c) sample[n++] = c;
  sample[n++] = ':';
  sample[n] = '\0';
  Canvas->Font = Font;
  SIZE extent = {};
  GetTextExtentPoint32A(Canvas->Handle, sample, n, &extent);
  AvDlgCharWidth = extent.cx / 64;
  AvDlgCharHeight = extent.cy;

  int kind = (FContext >> 16) & 7;
  if (kind > 4) kind = 4;
  IconId = kIconBeep[kind].icon;
  BeepId = kIconBeep[kind].beep;
}

TZipDialogBox* TZipDialogBox::CreateNew(TComponent* owner, int context) { return new TZipDialogBox(owner, context); }

void TZipDialogBox::Build(const AnsiString& title, const AnsiString& message, TMsgDlgButtons buttons) {
  auto h = [this](int v) { return MulDiv(v, AvDlgCharWidth, 4); };
  auto v = [this](int u) { return MulDiv(u, AvDlgCharHeight, 8); };
  const int hMargin = h(kHMargin), vMargin = v(kVMargin), hSpacing = h(kHSpacing), vSpacing = v(kVSpacing);
  const int buttonSpacing = h(kButtonSpacing), buttonHeight = v(kButtonHeight);
  int buttonWidth = h(kButtonWidth);

  BiDiMode = Application->BiDiMode;
  BorderStyle = bsDialog;
  Canvas->Font = Font;
  Caption = title.IsEmpty() ? AnsiString(Application->Title) : title;
  const UINT readingFlags = UseRightToLeftReading() ? DT_RTLREADING : 0;

  TMsgDlgBtn defaultButton = buttons.Contains(mbOK) ? mbOK : buttons.Contains(mbYes) ? mbYes : mbRetry;
  TMsgDlgBtn cancelButton = buttons.Contains(mbCancel) ? mbCancel : buttons.Contains(mbNo) ? mbNo : mbOK;
  const bool password = DialogType() == 0x14 << 16;
  int tabOrder = password ? 2 : 1;

  int buttonCount = 0;
  for (int b = mbYes; b < mbHelp; ++b) {
    const TMsgDlgBtn member = TMsgDlgBtn(b);
    if (!buttons.Contains(member)) continue;
    TButton* button = new TButton(this);
    ++buttonCount;
    button->Name = Format("zbdlg%d", buttonCount);
    button->Parent = this;
    button->Caption = LoadZipStr(10220 + b);
    button->ModalResult = kModalResults[b];
    if (member == defaultButton) button->Default = true;
    if (member == cancelButton) button->Cancel = true;
    button->TabStop = true;
    button->TabOrder = tabOrder++;
    RECT r = {0, 0, 0, 0};
    AnsiString caption = button->Caption;
    DrawTextA(Canvas->Handle, caption.c_str(), -1, &r, DT_CALCRECT | DT_SINGLELINE | readingFlags);
    if (r.right - r.left + 8 > buttonWidth) buttonWidth = r.right - r.left + 8;
  }

  RECT textRect = {0, 0, Screen->Width / 2, 0};
  DrawTextA(Canvas->Handle, message.c_str(), -1, &textRect,
            DT_EXPANDTABS | DT_CALCRECT | DT_WORDBREAK | readingFlags);
  const int textWidth = textRect.right, textHeight = textRect.bottom;
  int blockWidth = textWidth, blockHeight = textHeight;
  if (IconId) {
    blockWidth += 32 + hSpacing;
    if (blockHeight < 32) blockHeight = 32;
  }
  const int rowWidth = buttonCount > 0 ? buttonCount * buttonWidth + (buttonCount - 1) * buttonSpacing : 0;
  int contentWidth = blockWidth > rowWidth ? blockWidth : rowWidth;
  int contentHeight = blockHeight + buttonHeight;

  const int textLeft = blockWidth - textWidth + hMargin;
  int editHeight = 0;
  if (password) {
    const int minWidth = 80 * AvDlgCharWidth;
    if (contentWidth < minWidth) contentWidth = minWidth;
    PwdEdit = new TEdit(this);
    PwdEdit->Name = "zbdEdit";
    PwdEdit->Parent = this;
    PwdEdit->Text = "";
    PwdEdit->PasswordChar = '*';
    PwdEdit->MaxLength = 80;
    PwdEdit->TabOrder = 1;
    PwdEdit->TabStop = true;
    const int editWidth = minWidth > textWidth ? minWidth : textWidth;
    const int editLeft = UseRightToLeftAlignment() ? contentWidth + 2 * hMargin - textLeft - editWidth : textLeft;
    PwdEdit->SetBounds(editLeft, blockHeight + vMargin + vSpacing, editWidth, 15);
    ActiveControl = PwdEdit;
    editHeight = PwdEdit->Height;
    contentHeight += editHeight + vMargin;
  }

  ClientWidth = 2 * hMargin + contentWidth;
  ClientHeight = contentHeight + vSpacing + 2 * vMargin;
  Left = Screen->Width / 2 - Width / 2;
  Top = Screen->Height / 2 - Height / 2;

  if (IconId) {
    TImage* image = new TImage(this);
    image->Name = "Image";
    image->Parent = this;
    image->Picture->Icon->Handle = LoadIconA(nullptr, IconId);
    image->SetBounds(hMargin, vMargin, 32, 32);
  }

  TxtLabel = new TLabel(this);
  TxtLabel->Name = "zbdText";
  TxtLabel->Parent = this;
  TxtLabel->WordWrap = true;
  TxtLabel->Caption = message;
  const int labelLeft = UseRightToLeftAlignment() ? ClientWidth - textLeft - textWidth : textLeft;
  TxtLabel->SetBounds(labelLeft, vMargin, textWidth, textHeight);

  int x = (ClientWidth - rowWidth) / 2;
  int y = blockHeight + vMargin + vSpacing;
  if (password) y += editHeight + vSpacing;
  for (int i = 0; i < ComponentCount(); ++i) {
    if (TButton* button = dynamic_cast<TButton*>(Components(i))) {
      button->SetBounds(x, y, buttonWidth, buttonHeight);
      x += buttonWidth + buttonSpacing;
    }
  }
}

int TZipDialogBox::ShowModal() {
  if (BeepId != 0) MessageBeep(BeepId);
  return TForm::ShowModal();
}

AnsiString TZipDialogBox::EditText() const { return PwdEdit ? AnsiString(PwdEdit->Text) : AnsiString(); }
