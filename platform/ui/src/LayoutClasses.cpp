// The classes of the window layer that layouts may name, with their properties and events.
#include "Buttons.h"
#include "ComCtrls.h"
#include "Dialogs.h"
#include "ExtCtrls.h"
#include "Forms.h"
#include "ImgList.h"
#include "StdCtrls.h"

namespace {

struct Named {
  const char* name;
  int value;
};

const Named kColors[] = {
    {"clBlack", clBlack}, {"clMaroon", clMaroon}, {"clGreen", clGreen}, {"clOlive", clOlive},
    {"clNavy", clNavy}, {"clPurple", clPurple}, {"clTeal", clTeal}, {"clGray", clGray},
    {"clSilver", clSilver}, {"clRed", clRed}, {"clLime", clLime}, {"clYellow", clYellow},
    {"clBlue", clBlue}, {"clFuchsia", clFuchsia}, {"clAqua", clAqua}, {"clWhite", clWhite},
    {"clLtGray", clLtGray}, {"clDkGray", clDkGray}, {"clScrollBar", clScrollBar},
    {"clBackground", clBackground}, {"clActiveCaption", clActiveCaption},
    {"clInactiveCaption", clInactiveCaption}, {"clMenu", clMenu}, {"clWindow", clWindow},
    {"clWindowFrame", clWindowFrame}, {"clMenuText", clMenuText}, {"clWindowText", clWindowText},
    {"clCaptionText", clCaptionText}, {"clActiveBorder", clActiveBorder},
    {"clInactiveBorder", clInactiveBorder}, {"clAppWorkSpace", clAppWorkSpace},
    {"clHighlight", clHighlight}, {"clHighlightText", clHighlightText}, {"clBtnFace", clBtnFace},
    {"clBtnShadow", clBtnShadow}, {"clGrayText", clGrayText}, {"clBtnText", clBtnText},
    {"clInactiveCaptionText", clInactiveCaptionText}, {"clBtnHighlight", clBtnHighlight},
    {"cl3DDkShadow", cl3DDkShadow}, {"cl3DLight", cl3DLight}, {"clInfoText", clInfoText},
    {"clInfoBk", clInfoBk}, {"clNone", clNone}, {"clDefault", clDefault},
};
const Named kCharsets[] = {{"ANSI_CHARSET", 0},     {"DEFAULT_CHARSET", 1},  {"SYMBOL_CHARSET", 2},
                           {"SHIFTJIS_CHARSET", 128}, {"HANGEUL_CHARSET", 129}, {"HANGUL_CHARSET", 129},
                           {"GB2312_CHARSET", 134}, {"CHINESEBIG5_CHARSET", 136}, {"OEM_CHARSET", 255}};
const Named kCursors[] = {{"crDefault", crDefault}, {"crNone", crNone},       {"crArrow", crArrow},
                          {"crCross", crCross},     {"crIBeam", crIBeam},     {"crSizeNESW", crSizeNESW},
                          {"crSizeNS", crSizeNS},   {"crSizeNWSE", crSizeNWSE}, {"crSizeWE", crSizeWE},
                          {"crUpArrow", crUpArrow}, {"crHourGlass", crHourGlass}, {"crDrag", crDrag},
                          {"crNoDrop", crNoDrop},   {"crHSplit", crHSplit},   {"crVSplit", crVSplit},
                          {"crNo", crNo},           {"crAppStart", crAppStart}, {"crHelp", crHelp},
                          {"crHandPoint", crHandPoint}, {"crSizeAll", crSize}};
const Named kModal[] = {{"mrNone", 0}, {"mrOk", 1}, {"mrCancel", 2}, {"mrAbort", 3}, {"mrRetry", 4}, {"mrIgnore", 5},
                        {"mrYes", 6},  {"mrNo", 7}, {"mrAll", 8},    {"mrNoToAll", 9}, {"mrYesToAll", 10}};

template <size_t N>
int Lookup(const TLayoutValue& v, const Named (&table)[N]) {
  if (v.kind == TLayoutValue::vInteger) return int(v.integer);
  for (const Named& n : table)
    if (SameText(v.AsIdent(), n.name)) return n.value;
  throw EConvertError("Invalid property value " + v.text);
}

TColor ColorValue(const TLayoutValue& v) { return TColor(Lookup(v, kColors)); }

TFontStyles StylesValue(const TLayoutValue& v) {
  TFontStyles s;
  if (v.kind != TLayoutValue::vSet) throw EConvertError("Invalid property value");
  if (v.Has("fsBold")) s << fsBold;
  if (v.Has("fsItalic")) s << fsItalic;
  if (v.Has("fsUnderline")) s << fsUnderline;
  if (v.Has("fsStrikeOut")) s << fsStrikeOut;
  return s;
}

// Glyph.Data and Picture.Data: the form writer stores a length (and for pictures the graphic's
// class name) before the bitmap file; a plain bitmap file or DIB is taken as it is.
void LoadBitmapData(TBitmap* b, const std::string& data, bool picture) {
  size_t p = 0;
  if (picture && !data.empty() && data[0] != 'B') {
    size_t n = (unsigned char)data[0];
    p = 1 + n;
  }
  if (p + 4 <= data.size() && data.compare(p, 2, "BM") != 0) {
    uint32_t len = uint32_t((unsigned char)data[p]) | uint32_t((unsigned char)data[p + 1]) << 8 |
                   uint32_t((unsigned char)data[p + 2]) << 16 | uint32_t((unsigned char)data[p + 3]) << 24;
    if (len + 4 <= data.size() - p && (data.compare(p + 4, 2, "BM") == 0 || len == data.size() - p - 4)) p += 4;
  }
  if (p > data.size() || !b->LoadFromBytes(data.data() + p, data.size() - p)) throw EInvalidGraphic("Bitmap image is not valid");
}

template <class T>
void FontProps(TRegisterClass<T>& r) {
  r.Prop("Font.Charset", [](T* c, const TLayoutValue& v) { c->GetFont()->SetCharset(Lookup(v, kCharsets)); })
      .Prop("Font.Color", [](T* c, const TLayoutValue& v) { c->GetFont()->SetColor(ColorValue(v)); })
      .Prop("Font.Height", [](T* c, const TLayoutValue& v) { c->GetFont()->SetHeight(v.AsInteger()); })
      .Prop("Font.Size", [](T* c, const TLayoutValue& v) { c->GetFont()->SetSize(v.AsInteger()); })
      .Prop("Font.Name", [](T* c, const TLayoutValue& v) { c->GetFont()->SetName(v.AsString()); })
      .Prop("Font.Style", [](T* c, const TLayoutValue& v) { c->GetFont()->SetStyle(StylesValue(v)); })
      .Prop("Font.Pitch", [](T* c, const TLayoutValue& v) {
        c->GetFont()->SetPitch(TFontPitch(LayoutEnum(v, {"fpDefault", "fpVariable", "fpFixed"})));
      });
}

template <class T>
void RefProp(TRegisterClass<T>& r, const char* name, std::function<void(T*, TComponent*)> set) {
  r.PropCtx(name, [set, name](T* c, const TLayoutValue& v, TLayoutContext& ctx) {
    AnsiString target = v.AsIdent();
    DeferLayout(ctx, [set, c, target, name, &ctx] {
      TComponent* found = FindLayoutComponent(ctx, target);
      if (!found)
        throw ELayoutError(LayoutFormName(ctx), c->Name, target,
                           Format("%s.%s: component %s of %s not found", LayoutFormName(ctx).c_str(), c->Name.c_str(),
                                  target.c_str(), name));
      set(c, found);
    });
  });
}

bool gRegistered = false;

}  // namespace

int LayoutColor(const TLayoutValue& v) { return ColorValue(v); }

namespace ui {

void RegisterBuiltinClasses() {
  if (gRegistered) return;
  gRegistered = true;

  TRegisterClass<TComponent> component("TComponent", "", false);
  component.Prop("Tag", [](TComponent* c, const TLayoutValue& v) { c->Tag = v.AsInteger(); })
      .Ignore("Left")
      .Ignore("Top")
      .Ignore("DesignInfo");

  TRegisterClass<TControl> control("TControl", "TComponent", false);
  control.Prop("Left", [](TControl* c, const TLayoutValue& v) { c->SetLeft(v.AsInteger()); })
      .Prop("Top", [](TControl* c, const TLayoutValue& v) { c->SetTop(v.AsInteger()); })
      .Prop("Width", [](TControl* c, const TLayoutValue& v) { c->SetWidth(v.AsInteger()); })
      .Prop("Height", [](TControl* c, const TLayoutValue& v) { c->SetHeight(v.AsInteger()); })
      .Prop("Caption", [](TControl* c, const TLayoutValue& v) { c->SetCaption(v.AsString()); })
      .Prop("Visible", [](TControl* c, const TLayoutValue& v) { c->SetVisible(v.AsBoolean()); })
      .Prop("Enabled", [](TControl* c, const TLayoutValue& v) { c->SetEnabled(v.AsBoolean()); })
      .Prop("Hint", [](TControl* c, const TLayoutValue& v) { c->SetHint(v.AsString()); })
      .Prop("ShowHint", [](TControl* c, const TLayoutValue& v) { c->SetShowHint(v.AsBoolean()); })
      .Prop("ParentShowHint", [](TControl* c, const TLayoutValue& v) { c->SetParentShowHint(v.AsBoolean()); })
      .Prop("ParentFont", [](TControl* c, const TLayoutValue& v) { c->SetParentFont(v.AsBoolean()); })
      .Prop("Color", [](TControl* c, const TLayoutValue& v) { c->SetColor(ColorValue(v)); })
      .Prop("ParentColor", [](TControl* c, const TLayoutValue& v) { c->SetParentColor(v.AsBoolean()); })
      .Prop("Align", [](TControl* c, const TLayoutValue& v) {
        c->SetAlign(TAlign(LayoutEnum(v, {"alNone", "alTop", "alBottom", "alLeft", "alRight", "alClient", "alCustom"})));
      })
      .Prop("Cursor", [](TControl* c, const TLayoutValue& v) { c->SetCursor(TCursor(Lookup(v, kCursors))); })
      .Ignore("Anchors")
      .Ignore("Constraints.MinWidth")
      .Ignore("Constraints.MinHeight")
      .Ignore("Constraints.MaxWidth")
      .Ignore("Constraints.MaxHeight")
      .Ignore("DragCursor")
      .Ignore("DragKind")
      .Ignore("DragMode")
      .Ignore("PopupMenu")
      .Ignore("ParentBiDiMode")
      .Ignore("BiDiMode")
      .Ignore("HelpContext")
      .Event("OnClick", &TControl::OnClick)
      .Event("OnDblClick", &TControl::OnDblClick)
      .Event("OnMouseDown", &TControl::OnMouseDown)
      .Event("OnMouseUp", &TControl::OnMouseUp)
      .Event("OnMouseMove", &TControl::OnMouseMove)
      .Event("OnResize", &TControl::OnResize);
  FontProps(control);

  TRegisterClass<TWinControl> win("TWinControl", "TControl", false);
  win.Prop("TabOrder", [](TWinControl* c, const TLayoutValue& v) { c->SetTabOrder(v.AsInteger()); })
      .Prop("TabStop", [](TWinControl* c, const TLayoutValue& v) { c->SetTabStop(v.AsBoolean()); })
      .Prop("Ctl3D", [](TWinControl* c, const TLayoutValue& v) { c->SetCtl3D(v.AsBoolean()); })
      .Prop("DoubleBuffered", [](TWinControl* c, const TLayoutValue& v) { c->SetDoubleBuffered(v.AsBoolean()); })
      .Ignore("ParentCtl3D")
      .Ignore("ImeMode")
      .Ignore("ImeName")
      .Ignore("UseDockManager")
      .Ignore("DockSite")
      .Ignore("ParentBackground")
      .Event("OnEnter", &TWinControl::OnEnter)
      .Event("OnExit", &TWinControl::OnExit)
      .Event("OnKeyDown", &TWinControl::OnKeyDown)
      .Event("OnKeyUp", &TWinControl::OnKeyUp)
      .Event("OnKeyPress", &TWinControl::OnKeyPress);

  TRegisterClass<TGraphicControl>("TGraphicControl", "TControl", false);
  TRegisterClass<TCustomControl>("TCustomControl", "TWinControl", false);

  TRegisterClass<TCustomForm> form("TCustomForm", "TWinControl", false);
  form.Prop("BorderStyle", [](TCustomForm* c, const TLayoutValue& v) {
        c->SetBorderStyle(TFormBorderStyle(
            LayoutEnum(v, {"bsNone", "bsSingle", "bsSizeable", "bsDialog", "bsToolWindow", "bsSizeToolWin"})));
      })
      .Prop("BorderIcons", [](TCustomForm* c, const TLayoutValue& v) {
        TBorderIcons b;
        if (v.Has("biSystemMenu")) b << biSystemMenu;
        if (v.Has("biMinimize")) b << biMinimize;
        if (v.Has("biMaximize")) b << biMaximize;
        if (v.Has("biHelp")) b << biHelp;
        c->SetBorderIcons(b);
      })
      .Prop("FormStyle", [](TCustomForm* c, const TLayoutValue& v) {
        c->SetFormStyle(TFormStyle(LayoutEnum(v, {"fsNormal", "fsMDIChild", "fsMDIForm", "fsStayOnTop"})));
      })
      .Prop("Position", [](TCustomForm* c, const TLayoutValue& v) {
        c->SetPosition(TPosition(LayoutEnum(v, {"poDesigned", "poDefault", "poDefaultPosOnly", "poDefaultSizeOnly",
                                                "poScreenCenter", "poDesktopCenter", "poMainFormCenter",
                                                "poOwnerFormCenter"})));
      })
      .Prop("WindowState", [](TCustomForm* c, const TLayoutValue& v) {
        c->SetWindowState(TWindowState(LayoutEnum(v, {"wsNormal", "wsMinimized", "wsMaximized"})));
      })
      .Prop("KeyPreview", [](TCustomForm* c, const TLayoutValue& v) { c->SetKeyPreview(v.AsBoolean()); })
      .Prop("ClientWidth", [](TCustomForm* c, const TLayoutValue& v) { c->SetClientWidth(v.AsInteger()); })
      .Prop("ClientHeight", [](TCustomForm* c, const TLayoutValue& v) { c->SetClientHeight(v.AsInteger()); })
      .Prop("AutoSize", [](TCustomForm* c, const TLayoutValue& v) { c->SetAutoSize(v.AsBoolean()); })
      .Ignore("AutoScroll")
      .Ignore("OldCreateOrder")
      .Ignore("PixelsPerInch")
      .Ignore("TextHeight")
      .Ignore("Scaled")
      .Ignore("Icon.Data")
      .Ignore("Menu")
      .Ignore("HorzScrollBar.Visible")
      .Ignore("VertScrollBar.Visible")
      .Ignore("HorzScrollBar.Range")
      .Ignore("VertScrollBar.Range")
      .Ignore("HelpFile")
      .Ignore("WindowMenu")
      .Event("OnCreate", &TCustomForm::OnCreate)
      .Event("OnDestroy", &TCustomForm::OnDestroy)
      .Event("OnShow", &TCustomForm::OnShow)
      .Event("OnHide", &TCustomForm::OnHide)
      .Event("OnActivate", &TCustomForm::OnActivate)
      .Event("OnDeactivate", &TCustomForm::OnDeactivate)
      .Event("OnPaint", &TCustomForm::OnPaint)
      .Event("OnClose", &TCustomForm::OnClose)
      .Event("OnCloseQuery", &TCustomForm::OnCloseQuery)
      .Event("OnShortCut", &TCustomForm::OnShortCut);
  RefProp<TCustomForm>(form, "ActiveControl", [](TCustomForm* f, TComponent* c) {
    f->SetActiveControl(dynamic_cast<TWinControl*>(c));
  });
  TRegisterClass<TForm>("TForm", "TCustomForm", false);

  TRegisterClass<TDataModule> dm("TDataModule", "TComponent", false);
  dm.Ignore("OldCreateOrder")
      .Ignore("Height")
      .Ignore("Width")
      .Ignore("HorizontalOffset")
      .Ignore("VerticalOffset")
      .Event("OnCreate", &TDataModule::OnCreate)
      .Event("OnDestroy", &TDataModule::OnDestroy);

  TRegisterClass<TLabel> label("TLabel", "TGraphicControl");
  label.Prop("AutoSize", [](TLabel* c, const TLayoutValue& v) { c->SetAutoSize(v.AsBoolean()); })
      .Prop("Alignment", [](TLabel* c, const TLayoutValue& v) {
        c->SetAlignment(TAlignment(LayoutEnum(v, {"taLeftJustify", "taRightJustify", "taCenter"})));
      })
      .Prop("Transparent", [](TLabel* c, const TLayoutValue& v) { c->SetTransparent(v.AsBoolean()); })
      .Prop("WordWrap", [](TLabel* c, const TLayoutValue& v) { c->SetWordWrap(v.AsBoolean()); })
      .Prop("Layout", [](TLabel* c, const TLayoutValue& v) {
        c->SetLayout(TTextLayout(LayoutEnum(v, {"tlTop", "tlCenter", "tlBottom"})));
      })
      .Ignore("FocusControl")
      .Ignore("ShowAccelChar");

  TRegisterClass<TEdit> edit("TEdit", "TWinControl");
  edit.Prop("Text", [](TEdit* c, const TLayoutValue& v) { c->SetText(v.AsString()); })
      .Prop("PasswordChar", [](TEdit* c, const TLayoutValue& v) {
        AnsiString s = v.AsString();
        c->SetPasswordChar(s.IsEmpty() ? 0 : s[1]);
      })
      .Prop("ReadOnly", [](TEdit* c, const TLayoutValue& v) { c->SetReadOnly(v.AsBoolean()); })
      .Prop("MaxLength", [](TEdit* c, const TLayoutValue& v) { c->SetMaxLength(v.AsInteger()); })
      .Prop("AutoSelect", [](TEdit* c, const TLayoutValue& v) { c->SetAutoSelect(v.AsBoolean()); })
      .Prop("BorderStyle", [](TEdit* c, const TLayoutValue& v) { c->SetBorderStyle(LayoutEnum(v, {"bsNone", "bsSingle"})); })
      .Ignore("CharCase")
      .Ignore("AutoSize")
      .Ignore("OEMConvert")
      .Ignore("HideSelection")
      .Event("OnChange", &TEdit::OnChange);

  TRegisterClass<TCheckBox> check("TCheckBox", "TWinControl");
  check.Prop("Checked", [](TCheckBox* c, const TLayoutValue& v) { c->SetChecked(v.AsBoolean()); })
      .Prop("State", [](TCheckBox* c, const TLayoutValue& v) {
        c->SetState(TCheckBoxState(LayoutEnum(v, {"cbUnchecked", "cbChecked", "cbGrayed"})));
      })
      .Ignore("Alignment")
      .Ignore("AllowGrayed");

  TRegisterClass<TComboBox> combo("TComboBox", "TWinControl");
  combo.Prop("Style", [](TComboBox* c, const TLayoutValue& v) {
         c->SetStyle(TComboBoxStyle(LayoutEnum(
             v, {"csDropDown", "csSimple", "csDropDownList", "csOwnerDrawFixed", "csOwnerDrawVariable"})));
       })
      .Prop("Sorted", [](TComboBox* c, const TLayoutValue& v) { c->SetSorted(v.AsBoolean()); })
      .Prop("DropDownCount", [](TComboBox* c, const TLayoutValue& v) { c->SetDropDownCount(v.AsInteger()); })
      .Prop("ItemIndex", [](TComboBox* c, const TLayoutValue& v) { c->SetItemIndex(v.AsInteger()); })
      .Prop("Text", [](TComboBox* c, const TLayoutValue& v) { c->SetText(v.AsString()); })
      .Prop("Items.Strings", [](TComboBox* c, const TLayoutValue& v) {
        if (v.kind != TLayoutValue::vList) throw EConvertError("Invalid property value");
        for (const TLayoutValue& item : v.list) c->GetItems()->Add(item.AsString());
      })
      .Ignore("ItemHeight")
      .Ignore("CharCase")
      .Ignore("MaxLength")
      .Event("OnChange", &TComboBox::OnChange)
      .Event("OnSelect", &TComboBox::OnSelect);

  TRegisterClass<TButton> button("TButton", "TWinControl");
  button.Prop("ModalResult", [](TButton* c, const TLayoutValue& v) { c->SetModalResult(Lookup(v, kModal)); })
      .Prop("Default", [](TButton* c, const TLayoutValue& v) { c->SetDefault(v.AsBoolean()); })
      .Prop("Cancel", [](TButton* c, const TLayoutValue& v) { c->SetCancel(v.AsBoolean()); });

  TRegisterClass<TImage> image("TImage", "TGraphicControl");
  image.Prop("Picture.Data", [](TImage* c, const TLayoutValue& v) {
         if (v.kind != TLayoutValue::vBinary) throw EConvertError("Invalid property value");
         TBitmap b;
         LoadBitmapData(&b, v.binary, true);
         c->GetPicture()->SetBitmap(&b);
       })
      .Prop("Picture.Resource", [](TImage* c, const TLayoutValue& v) {
        TBitmap b;
        b.LoadFromResourceName(HInstance, v.AsString());
        c->GetPicture()->SetBitmap(&b);
      })
      .Prop("Stretch", [](TImage* c, const TLayoutValue& v) { c->SetStretch(v.AsBoolean()); })
      .Prop("Center", [](TImage* c, const TLayoutValue& v) { c->SetCenter(v.AsBoolean()); })
      .Prop("Transparent", [](TImage* c, const TLayoutValue& v) { c->SetTransparent(v.AsBoolean()); })
      .Prop("AutoSize", [](TImage* c, const TLayoutValue& v) { c->SetAutoSize(v.AsBoolean()); })
      .Ignore("Proportional")
      .Ignore("IncrementalDisplay");

  TRegisterClass<TPanel> panel("TPanel", "TCustomControl");
  auto bevel = [](const TLayoutValue& v) { return TBevelCut(LayoutEnum(v, {"bvNone", "bvLowered", "bvRaised", "bvSpace"})); };
  panel.Prop("BevelOuter", [bevel](TPanel* c, const TLayoutValue& v) { c->SetBevelOuter(bevel(v)); })
      .Prop("BevelInner", [bevel](TPanel* c, const TLayoutValue& v) { c->SetBevelInner(bevel(v)); })
      .Prop("BevelWidth", [](TPanel* c, const TLayoutValue& v) { c->SetBevelWidth(v.AsInteger()); })
      .Prop("BorderWidth", [](TPanel* c, const TLayoutValue& v) { c->SetBorderWidth(v.AsInteger()); })
      .Prop("Alignment", [](TPanel* c, const TLayoutValue& v) {
        c->SetAlignment(TAlignment(LayoutEnum(v, {"taLeftJustify", "taRightJustify", "taCenter"})));
      })
      .Ignore("BorderStyle")
      .Ignore("FullRepaint")
      .Ignore("Locked");

  TRegisterClass<TTimer> timer("TTimer", "TComponent");
  timer.Prop("Enabled", [](TTimer* c, const TLayoutValue& v) { c->SetEnabled(v.AsBoolean()); })
      .Prop("Interval", [](TTimer* c, const TLayoutValue& v) { c->SetInterval(unsigned(v.AsInteger())); })
      .Event("OnTimer", &TTimer::OnTimer);

  TRegisterClass<TSpeedButton> speed("TSpeedButton", "TGraphicControl");
  speed.Prop("Glyph.Data", [](TSpeedButton* c, const TLayoutValue& v) {
         if (v.kind != TLayoutValue::vBinary) throw EConvertError("Invalid property value");
         TBitmap b;
         LoadBitmapData(&b, v.binary, false);
         c->SetGlyph(&b);
       })
      .Prop("Glyph.Resource", [](TSpeedButton* c, const TLayoutValue& v) {
        TBitmap b;
        b.LoadFromResourceName(HInstance, v.AsString());
        c->SetGlyph(&b);
      })
      .Prop("NumGlyphs", [](TSpeedButton* c, const TLayoutValue& v) { c->SetNumGlyphs(v.AsInteger()); })
      .Prop("Spacing", [](TSpeedButton* c, const TLayoutValue& v) { c->SetSpacing(v.AsInteger()); })
      .Prop("Margin", [](TSpeedButton* c, const TLayoutValue& v) { c->SetMargin(v.AsInteger()); })
      .Prop("Flat", [](TSpeedButton* c, const TLayoutValue& v) { c->SetFlat(v.AsBoolean()); })
      .Prop("GroupIndex", [](TSpeedButton* c, const TLayoutValue& v) { c->SetGroupIndex(v.AsInteger()); })
      .Prop("Down", [](TSpeedButton* c, const TLayoutValue& v) { c->SetDown(v.AsBoolean()); })
      .Prop("AllowAllUp", [](TSpeedButton* c, const TLayoutValue& v) { c->SetAllowAllUp(v.AsBoolean()); })
      .Prop("Layout", [](TSpeedButton* c, const TLayoutValue& v) {
        c->SetLayout(TButtonLayout(LayoutEnum(v, {"blGlyphLeft", "blGlyphRight", "blGlyphTop", "blGlyphBottom"})));
      })
      .Prop("Transparent", [](TSpeedButton* c, const TLayoutValue& v) { c->SetTransparent(v.AsBoolean()); });

  TRegisterClass<TCustomImageList> ilist("TCustomImageList", "TComponent", false);
  auto bitmap = [](TCustomImageList* c, TBitmap* b) {
    if (c->GetMasked())
      c->AddMasked(b, b->GetCanvas()->GetPixel(0, b->GetHeight() - 1));
    else
      c->Add(b, nullptr);
  };
  ilist.Prop("Width", [](TCustomImageList* c, const TLayoutValue& v) { c->SetWidth(v.AsInteger()); })
      .Prop("Height", [](TCustomImageList* c, const TLayoutValue& v) { c->SetHeight(v.AsInteger()); })
      .Prop("Masked", [](TCustomImageList* c, const TLayoutValue& v) { c->SetMasked(v.AsBoolean()); })
      .Prop("BkColor", [](TCustomImageList* c, const TLayoutValue& v) { c->SetBkColor(ColorValue(v)); })
      .Prop("Bitmap", [bitmap](TCustomImageList* c, const TLayoutValue& v) {
        if (v.kind != TLayoutValue::vBinary) throw EConvertError("Invalid property value");
        TBitmap b;
        LoadBitmapData(&b, v.binary, false);
        bitmap(c, &b);
      })
      .Prop("Bitmap.Resource", [bitmap](TCustomImageList* c, const TLayoutValue& v) {
        TBitmap b;
        b.LoadFromResourceName(HInstance, v.AsString());
        bitmap(c, &b);
      })
      .Ignore("DrawingStyle")
      .Ignore("ImageType")
      .Ignore("AllocBy")
      .Ignore("ShareImages");
  TRegisterClass<TImageList>("TImageList", "TCustomImageList");

  TRegisterClass<TCustomListView> list("TCustomListView", "TWinControl", false);
  list.Prop("ViewStyle", [](TCustomListView* c, const TLayoutValue& v) {
        c->SetViewStyle(TViewStyle(LayoutEnum(v, {"vsIcon", "vsSmallIcon", "vsList", "vsReport"})));
      })
      .Prop("GridLines", [](TCustomListView* c, const TLayoutValue& v) { c->SetGridLines(v.AsBoolean()); })
      .Prop("ReadOnly", [](TCustomListView* c, const TLayoutValue& v) { c->SetReadOnly(v.AsBoolean()); })
      .Prop("RowSelect", [](TCustomListView* c, const TLayoutValue& v) { c->SetRowSelect(v.AsBoolean()); })
      .Prop("ShowColumnHeaders", [](TCustomListView* c, const TLayoutValue& v) { c->SetShowColumnHeaders(v.AsBoolean()); })
      .Prop("ColumnClick", [](TCustomListView* c, const TLayoutValue& v) { c->SetColumnClick(v.AsBoolean()); })
      .Prop("Columns", [](TCustomListView* c, const TLayoutValue& v) {
        if (v.kind != TLayoutValue::vCollection) throw EConvertError("Invalid property value");
        for (const TLayoutValue::Item& item : v.items) {
          TListColumn* col = c->GetColumns()->Add();
          for (auto& [n, pv] : item.props) {
            if (SameText(n, "Caption")) col->SetCaption(pv.AsString());
            else if (SameText(n, "Width")) col->SetWidth(pv.AsInteger());
            else if (SameText(n, "MinWidth")) col->SetMinWidth(pv.AsInteger());
            else if (SameText(n, "MaxWidth")) col->SetMaxWidth(pv.AsInteger());
            else if (SameText(n, "AutoSize")) col->SetAutoSize(pv.AsBoolean());
            else if (SameText(n, "Alignment"))
              col->SetAlignment(TAlignment(LayoutEnum(pv, {"taLeftJustify", "taRightJustify", "taCenter"})));
            else if (!SameText(n, "ImageIndex") && !SameText(n, "Tag"))
              throw EConvertError("column property " + n + " does not exist");
          }
        }
      })
      .Ignore("FlatScrollBars")
      .Ignore("HideSelection")
      .Ignore("HotTrack")
      .Ignore("Items.Data")
      .Ignore("MultiSelect")
      .Ignore("BorderStyle")
      .Event("OnCustomDrawItem", &TCustomListView::OnCustomDrawItem)
      .Event("OnCustomDrawSubItem", &TCustomListView::OnCustomDrawSubItem)
      .Event("OnInfoTip", &TCustomListView::OnInfoTip)
      .Event("OnDeletion", &TCustomListView::OnDeletion)
      .Event("OnSelectItem", &TCustomListView::OnSelectItem)
      .Event("OnColumnDragged", &TCustomListView::OnColumnDragged)
      .Event("OnChange", &TCustomListView::OnChange);
  RefProp<TCustomListView>(list, "SmallImages", [](TCustomListView* l, TComponent* c) {
    l->SetSmallImages(dynamic_cast<TCustomImageList*>(c));
  });
  TRegisterClass<TListView>("TListView", "TCustomListView");

  TRegisterClass<TProgressBar> bar("TProgressBar", "TWinControl");
  bar.Prop("Min", [](TProgressBar* c, const TLayoutValue& v) { c->SetMin(v.AsInteger()); })
      .Prop("Max", [](TProgressBar* c, const TLayoutValue& v) { c->SetMax(v.AsInteger()); })
      .Prop("Position", [](TProgressBar* c, const TLayoutValue& v) { c->SetPosition(v.AsInteger()); })
      .Prop("Step", [](TProgressBar* c, const TLayoutValue& v) { c->SetStep(v.AsInteger()); })
      .Prop("Smooth", [](TProgressBar* c, const TLayoutValue& v) { c->SetSmooth(v.AsBoolean()); })
      .Ignore("Orientation");

  TRegisterClass<TPageControl> pages("TPageControl", "TCustomControl");
  pages.Prop("TabPosition", [](TPageControl* c, const TLayoutValue& v) {
         c->SetTabPosition(TTabPosition(LayoutEnum(v, {"tpTop", "tpBottom", "tpLeft", "tpRight"})));
       })
      .Ignore("Style")
      .Ignore("MultiLine")
      .Ignore("TabHeight")
      .Ignore("TabWidth")
      .Event("OnChange", &TPageControl::OnChange);
  RefProp<TPageControl>(pages, "ActivePage", [](TPageControl* p, TComponent* c) {
    p->SetActivePage(dynamic_cast<TTabSheet*>(c));
  });

  TRegisterClass<TTabSheet> sheet("TTabSheet", "TCustomControl");
  sheet.Prop("TabVisible", [](TTabSheet* c, const TLayoutValue& v) { c->SetTabVisible(v.AsBoolean()); })
      .Ignore("PageIndex")
      .Ignore("ImageIndex")
      .Ignore("Highlighted")
      .Event("OnShow", &TTabSheet::OnShow)
      .Event("OnHide", &TTabSheet::OnHide);
  RefProp<TTabSheet>(sheet, "PageControl", [](TTabSheet* s, TComponent* c) {
    if (auto* p = dynamic_cast<TPageControl*>(c); p && s->GetPageControl() != p) s->SetPageControl(p);
  });

  TRegisterClass<TToolBar> tool("TToolBar", "TCustomControl");
  tool.Prop("ButtonHeight", [](TToolBar* c, const TLayoutValue& v) { c->SetButtonHeight(v.AsInteger()); })
      .Prop("ButtonWidth", [](TToolBar* c, const TLayoutValue& v) { c->SetButtonWidth(v.AsInteger()); })
      .Prop("Flat", [](TToolBar* c, const TLayoutValue& v) { c->SetFlat(v.AsBoolean()); })
      .Prop("AutoSize", [](TToolBar* c, const TLayoutValue& v) { c->SetAutoSize(v.AsBoolean()); })
      .Prop("ShowCaptions", [](TToolBar* c, const TLayoutValue& v) { c->SetShowCaptions(v.AsBoolean()); })
      .Prop("EdgeBorders", [](TToolBar* c, const TLayoutValue& v) {
        TEdgeBorders b;
        if (v.Has("ebLeft")) b << ebLeft;
        if (v.Has("ebTop")) b << ebTop;
        if (v.Has("ebRight")) b << ebRight;
        if (v.Has("ebBottom")) b << ebBottom;
        c->SetEdgeBorders(b);
      })
      .Ignore("List")
      .Ignore("Wrapable")
      .Ignore("Transparent")
      .Ignore("EdgeInner")
      .Ignore("EdgeOuter")
      .Ignore("Indent");
  RefProp<TToolBar>(tool, "Images", [](TToolBar* t, TComponent* c) { t->SetImages(dynamic_cast<TCustomImageList*>(c)); });

  TRegisterClass<TToolButton> tbutton("TToolButton", "TGraphicControl");
  tbutton.Prop("ImageIndex", [](TToolButton* c, const TLayoutValue& v) { c->SetImageIndex(v.AsInteger()); })
      .Prop("Style", [](TToolButton* c, const TLayoutValue& v) {
        c->SetStyle(TToolButtonStyle(LayoutEnum(v, {"tbsButton", "tbsCheck", "tbsDropDown", "tbsSeparator", "tbsDivider"})));
      })
      .Ignore("Wrap")
      .Ignore("Grouped")
      .Ignore("AutoSize");

  TRegisterClass<TCommonDialog> dialog("TCommonDialog", "TComponent", false);
  dialog.Prop("Ctl3D", [](TCommonDialog* c, const TLayoutValue& v) { c->SetCtl3D(v.AsBoolean()); })
      .Ignore("HelpContext")
      .Event("OnShow", &TCommonDialog::OnShow)
      .Event("OnClose", &TCommonDialog::OnClose);
}

}  // namespace ui
