// Standard controls: labels, edit boxes, check boxes, combo boxes and push buttons.
#pragma once
#include "Controls.h"

enum TTextLayout { tlTop, tlCenter, tlBottom };

class TLabel : public TGraphicControl {
 public:
  explicit TLabel(TComponent* AOwner);
  bool GetAutoSize() const { return FAutoSize; }
  void SetAutoSize(bool v);
  TAlignment GetAlignment() const { return FAlignment; }
  void SetAlignment(TAlignment v);
  bool GetTransparent() const { return FTransparent; }
  void SetTransparent(bool v);
  bool GetWordWrap() const { return FWordWrap; }
  void SetWordWrap(bool v);
  TTextLayout GetLayout() const { return FLayout; }
  void SetLayout(TTextLayout v);
  VCL_PROPERTY(TLabel, AutoSize);
  VCL_PROPERTY(TLabel, Alignment);
  VCL_PROPERTY(TLabel, Transparent);
  VCL_PROPERTY(TLabel, WordWrap);
  VCL_PROPERTY(TLabel, Layout);
  void SetText(const AnsiString& v) override;
  void Loaded() override;

 protected:
  void Paint() override;
  void FontChanged() override;
  void AdjustBounds();

 private:
  bool FAutoSize = true;
  TAlignment FAlignment = taLeftJustify;
  bool FTransparent = false;
  bool FWordWrap = false;
  TTextLayout FLayout = tlTop;
};

enum TEditCharCase { ecNormal, ecUpperCase, ecLowerCase };
enum TControlBorderStyle { bsNoneBorder = 0, bsSingleBorder = 1 };

class TEdit : public TWinControl {
 public:
  explicit TEdit(TComponent* AOwner);
  AnsiString GetText() const override;
  void SetText(const AnsiString& v) override;
  char GetPasswordChar() const { return FPasswordChar; }
  void SetPasswordChar(char v);
  bool GetReadOnly() const;
  void SetReadOnly(bool v);
  int GetMaxLength() const;
  void SetMaxLength(int v);
  int GetSelStart() const;
  void SetSelStart(int v);
  int GetSelLength() const;
  void SetSelLength(int v);
  bool GetAutoSelect() const { return FAutoSelect; }
  void SetAutoSelect(bool v) { FAutoSelect = v; }
  int GetBorderStyle() const { return FBorderStyle; }
  void SetBorderStyle(int v);
  VCL_PROPERTY(TEdit, PasswordChar);
  VCL_PROPERTY(TEdit, ReadOnly);
  VCL_PROPERTY(TEdit, MaxLength);
  VCL_PROPERTY(TEdit, SelStart);
  VCL_PROPERTY(TEdit, SelLength);
  VCL_PROPERTY(TEdit, AutoSelect);
  VCL_PROPERTY(TEdit, BorderStyle);
  void SelectAll();
  void Clear() { SetText(""); }
  void SetColor(TColor v) override;
  TNotifyEvent OnChange;

 protected:
  void FontChanged() override;

 private:
  char FPasswordChar = 0;
  bool FAutoSelect = true;
  int FBorderStyle = 1;
};

enum TCheckBoxState { cbUnchecked, cbChecked, cbGrayed };

class TCheckBox : public TWinControl {
 public:
  explicit TCheckBox(TComponent* AOwner);
  bool GetChecked() const;
  void SetChecked(bool v);
  TCheckBoxState GetState() const { return GetChecked() ? cbChecked : cbUnchecked; }
  void SetState(TCheckBoxState v) { SetChecked(v == cbChecked); }
  void SetText(const AnsiString& v) override;
  void SetColor(TColor v) override;
  VCL_PROPERTY(TCheckBox, Checked);
  VCL_PROPERTY(TCheckBox, State);

 protected:
  void FontChanged() override;
};

class TComboBoxStrings;
enum TComboBoxStyle { csDropDown, csSimple, csDropDownList, csOwnerDrawFixed, csOwnerDrawVariable };

class TComboBox : public TWinControl {
 public:
  explicit TComboBox(TComponent* AOwner);
  ~TComboBox() override;
  TStrings* GetItems() const;
  void SetItems(TStrings* v);
  int GetItemIndex() const;
  void SetItemIndex(int v);
  bool GetSorted() const { return FSorted; }
  void SetSorted(bool v);
  TComboBoxStyle GetStyle() const { return FStyle; }
  void SetStyle(TComboBoxStyle v);
  int GetDropDownCount() const { return FDropDownCount; }
  void SetDropDownCount(int v);
  AnsiString GetText() const override;
  void SetText(const AnsiString& v) override;
  VCL_PROPERTY(TComboBox, Items);
  VCL_PROPERTY(TComboBox, ItemIndex);
  VCL_PROPERTY(TComboBox, Sorted);
  VCL_PROPERTY(TComboBox, Style);
  VCL_PROPERTY(TComboBox, DropDownCount);
  void Clear();
  TNotifyEvent OnChange;
  TNotifyEvent OnSelect;

 protected:
  void FontChanged() override;

 private:
  friend class TComboBoxStrings;
  std::unique_ptr<TComboBoxStrings> FItems;
  bool FSorted = false;
  TComboBoxStyle FStyle = csDropDown;
  int FDropDownCount = 8;
};

class TButton : public TWinControl {
 public:
  explicit TButton(TComponent* AOwner);
  TModalResult GetModalResult() const { return FModalResult; }
  void SetModalResult(TModalResult v) { FModalResult = v; }
  bool GetDefault() const { return FDefault; }
  void SetDefault(bool v);
  bool GetCancel() const { return FCancel; }
  void SetCancel(bool v) { FCancel = v; }
  void SetText(const AnsiString& v) override;
  VCL_PROPERTY(TButton, ModalResult);
  VCL_PROPERTY(TButton, Default);
  VCL_PROPERTY(TButton, Cancel);
  void Click() override;

 protected:
  void FontChanged() override;

 private:
  TModalResult FModalResult = mrNone;
  bool FDefault = false;
  bool FCancel = false;
};
