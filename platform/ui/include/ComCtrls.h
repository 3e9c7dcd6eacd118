// Common controls: list view, progress bar, page control, tool bar.
#pragma once
#include <memory>
#include <vector>

#include "Controls.h"
#include "ImgList.h"

class TCustomListView;
class TListItems;
class TListItemStrings;

enum TDisplayCode { drBounds, drIcon, drLabel, drSelectBounds };
enum TCustomDrawStateElem { cdsSelected, cdsGrayed, cdsDisabled, cdsChecked, cdsFocused, cdsDefault, cdsHot,
                            cdsMarked, cdsIndeterminate };
typedef Set<TCustomDrawStateElem, cdsSelected, cdsIndeterminate> TCustomDrawState;
enum TViewStyle { vsIcon, vsSmallIcon, vsList, vsReport };

class TListItem : public TPersistent {
 public:
  TListItem(TListItems* owner);
  ~TListItem() override;
  AnsiString GetCaption() const { return FCaption; }
  void SetCaption(const AnsiString& v);
  TStrings* GetSubItems() const;
  void SetSubItems(TStrings* v);
  void* GetData() const { return FData; }
  void SetData(void* v) { FData = v; }
  int GetIndex() const;
  int GetImageIndex() const { return FImageIndex; }
  void SetImageIndex(int v) { FImageIndex = v; }
  bool GetSelected() const;
  void SetSelected(bool v);
  TCustomListView* GetListView() const;
  TListItems* GetOwner() const { return FOwner; }
  VCL_PROPERTY(TListItem, Caption);
  VCL_PROPERTY(TListItem, SubItems);
  VCL_PROPERTY(TListItem, Data);
  VCL_READONLY(TListItem, Index);
  VCL_PROPERTY(TListItem, ImageIndex);
  VCL_PROPERTY(TListItem, Selected);
  VCL_READONLY(TListItem, ListView);
  VCL_READONLY(TListItem, Owner);

  void MakeVisible(bool PartialOK);
  TRect DisplayRect(TDisplayCode Code) const;
  void Update();  // repaints the row
  void Delete();

  void* Row = nullptr;  // the layer's row object

 private:
  friend class TListItemStrings;
  TListItems* FOwner;
  AnsiString FCaption;
  std::unique_ptr<TListItemStrings> FSubItems;
  void* FData = nullptr;
  int FImageIndex = -1;
};

class TListItems : public TPersistent {
 public:
  explicit TListItems(TCustomListView* owner) : FOwner(owner) {}
  ~TListItems() override;
  int GetCount() const { return int(FItems.size()); }
  VCL_READONLY(TListItems, Count);
  TListItem* Add();
  TListItem* Insert(int index);
  void Clear();
  void Delete(int index);
  TListItem* Item(int index) const { return FItems.at(size_t(index)); }
  TListItem* operator[](int index) const { return Item(index); }
  int IndexOf(const TListItem* item) const;
  void BeginUpdate() {}
  void EndUpdate() {}
  TCustomListView* GetOwner() const { return FOwner; }

 private:
  friend class TListItem;
  void Remove(TListItem* item);  // without deleting
  TCustomListView* FOwner;
  std::vector<TListItem*> FItems;
};

class TListColumns;
class TListColumn : public TPersistent {
 public:
  explicit TListColumn(TListColumns* owner) : FOwner(owner) {}
  AnsiString GetCaption() const { return FCaption; }
  void SetCaption(const AnsiString& v);
  int GetWidth() const { return FWidth; }
  void SetWidth(int v);
  int GetMinWidth() const { return FMinWidth; }
  void SetMinWidth(int v);
  int GetMaxWidth() const { return FMaxWidth; }
  void SetMaxWidth(int v);
  TAlignment GetAlignment() const { return FAlignment; }
  void SetAlignment(TAlignment v);
  bool GetAutoSize() const { return FAutoSize; }
  void SetAutoSize(bool v) { FAutoSize = v; }
  int GetIndex() const;
  VCL_PROPERTY(TListColumn, Caption);
  VCL_PROPERTY(TListColumn, Width);
  VCL_PROPERTY(TListColumn, MinWidth);
  VCL_PROPERTY(TListColumn, MaxWidth);
  VCL_PROPERTY(TListColumn, Alignment);
  VCL_PROPERTY(TListColumn, AutoSize);

 private:
  void Changed();
  TListColumns* FOwner;
  AnsiString FCaption;
  int FWidth = 50, FMinWidth = 0, FMaxWidth = 0;
  TAlignment FAlignment = taLeftJustify;
  bool FAutoSize = false;
};

class TListColumns : public TPersistent {
 public:
  explicit TListColumns(TCustomListView* owner) : FOwner(owner) {}
  ~TListColumns() override;
  int GetCount() const { return int(FColumns.size()); }
  VCL_READONLY(TListColumns, Count);
  TListColumn* Add();
  void Clear();
  TListColumn* Item(int index) const { return FColumns.at(size_t(index)).get(); }
  TListColumn* operator[](int index) const { return Item(index); }
  TCustomListView* GetOwner() const { return FOwner; }

 private:
  friend class TListColumn;
  TCustomListView* FOwner;
  std::vector<std::unique_ptr<TListColumn>> FColumns;
};

typedef std::function<void(TCustomListView* Sender, TListItem* Item, TCustomDrawState State, bool& DefaultDraw)>
    TLVCustomDrawItemEvent;
typedef std::function<void(TCustomListView* Sender, TListItem* Item, int SubItem, TCustomDrawState State,
                           bool& DefaultDraw)>
    TLVCustomDrawSubItemEvent;
typedef std::function<void(TObject* Sender, TListItem* Item, AnsiString& InfoTip)> TLVInfoTipEvent;
typedef std::function<void(TObject* Sender, TListItem* Item)> TLVDeletedEvent;
typedef std::function<void(TObject* Sender, TListItem* Item, bool Selected)> TLVSelectItemEvent;

class TCustomListView : public TWinControl {
 public:
  explicit TCustomListView(TComponent* AOwner);
  ~TCustomListView() override;
  TListItems* GetItems() const { return FItems.get(); }
  TListColumns* GetColumns() const { return FColumns.get(); }
  TViewStyle GetViewStyle() const { return FViewStyle; }
  void SetViewStyle(TViewStyle v) { FViewStyle = v; }
  bool GetGridLines() const { return FGridLines; }
  void SetGridLines(bool v);
  bool GetReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool v) { FReadOnly = v; }
  bool GetRowSelect() const { return FRowSelect; }
  void SetRowSelect(bool v) { FRowSelect = v; }
  bool GetShowColumnHeaders() const { return FShowColumnHeaders; }
  void SetShowColumnHeaders(bool v);
  bool GetColumnClick() const { return FColumnClick; }
  void SetColumnClick(bool v) { FColumnClick = v; }
  TListItem* GetSelected() const;
  void SetSelected(TListItem* v);
  int GetItemIndex() const;
  void SetItemIndex(int v);
  TCanvas* GetCanvas() const { return FCanvas.get(); }
  TCustomImageList* GetSmallImages() const { return FSmallImages; }
  void SetSmallImages(TCustomImageList* v) { FSmallImages = v; }
  VCL_READONLY(TCustomListView, Items);
  VCL_READONLY(TCustomListView, Columns);
  VCL_PROPERTY(TCustomListView, ViewStyle);
  VCL_PROPERTY(TCustomListView, GridLines);
  VCL_PROPERTY(TCustomListView, ReadOnly);
  VCL_PROPERTY(TCustomListView, RowSelect);
  VCL_PROPERTY(TCustomListView, ShowColumnHeaders);
  VCL_PROPERTY(TCustomListView, ColumnClick);
  VCL_PROPERTY(TCustomListView, Selected);
  VCL_PROPERTY(TCustomListView, ItemIndex);
  VCL_READONLY(TCustomListView, Canvas);
  VCL_PROPERTY(TCustomListView, SmallImages);

  void Invalidate() override;
  void Clear() { FItems->Clear(); }
  // The tooltip text of a row as OnInfoTip makes it (the caption when unassigned).
  AnsiString InfoTipOf(TListItem* item);

  TLVCustomDrawItemEvent OnCustomDrawItem;
  TLVCustomDrawSubItemEvent OnCustomDrawSubItem;
  TLVInfoTipEvent OnInfoTip;
  TLVDeletedEvent OnDeletion;
  TLVSelectItemEvent OnSelectItem;
  TNotifyEvent OnColumnDragged;
  TNotifyEvent OnChange;

  // The layer's side.
  void ItemAdded(TListItem* item, int index);
  void ItemRemoved(TListItem* item);
  void ItemChanged(TListItem* item);
  void ColumnsChanged();

 protected:
  void FontChanged() override;

 private:
  std::unique_ptr<TListItems> FItems;
  std::unique_ptr<TListColumns> FColumns;
  std::unique_ptr<TCanvas> FCanvas;
  TViewStyle FViewStyle = vsIcon;
  bool FGridLines = false, FReadOnly = false, FRowSelect = false, FShowColumnHeaders = true, FColumnClick = true;
  TCustomImageList* FSmallImages = nullptr;
};

class TListView : public TCustomListView {
 public:
  explicit TListView(TComponent* AOwner) : TCustomListView(AOwner) {}
};

class TProgressBar : public TWinControl {
 public:
  explicit TProgressBar(TComponent* AOwner);
  int GetMin() const { return FMin; }
  void SetMin(int v);
  int GetMax() const { return FMax; }
  void SetMax(int v);
  int GetPosition() const { return FPosition; }
  void SetPosition(int v);
  int GetStep() const { return FStep; }
  void SetStep(int v) { FStep = v; }
  bool GetSmooth() const { return FSmooth; }
  void SetSmooth(bool v) { FSmooth = v; }
  VCL_PROPERTY(TProgressBar, Min);
  VCL_PROPERTY(TProgressBar, Max);
  VCL_PROPERTY(TProgressBar, Position);
  VCL_PROPERTY(TProgressBar, Step);
  VCL_PROPERTY(TProgressBar, Smooth);
  void StepIt() { SetPosition(FPosition + FStep); }
  void StepBy(int delta) { SetPosition(FPosition + delta); }

 private:
  void Apply();
  int FMin = 0, FMax = 100, FPosition = 0, FStep = 10;
  bool FSmooth = false;
};

class TPageControl;
class TTabSheet : public TCustomControl {
 public:
  explicit TTabSheet(TComponent* AOwner);
  ~TTabSheet() override;
  TPageControl* GetPageControl() const { return FPageControl; }
  void SetPageControl(TPageControl* v);
  bool GetTabVisible() const { return FTabVisible; }
  void SetTabVisible(bool v);
  int GetPageIndex() const;
  int GetTabIndex() const;
  VCL_PROPERTY(TTabSheet, PageControl);
  VCL_PROPERTY(TTabSheet, TabVisible);
  VCL_READONLY(TTabSheet, PageIndex);
  VCL_READONLY(TTabSheet, TabIndex);
  void SetParent(TWinControl* parent) override;
  void SetText(const AnsiString& v) override;
  TNotifyEvent OnShow;
  TNotifyEvent OnHide;

 private:
  friend class TPageControl;
  TPageControl* FPageControl = nullptr;
  bool FTabVisible = true;
};

enum TTabPosition { tpTop, tpBottom, tpLeft, tpRight };

class TPageControl : public TCustomControl {
 public:
  explicit TPageControl(TComponent* AOwner);
  ~TPageControl() override;
  TTabSheet* GetActivePage() const { return FActivePage; }
  void SetActivePage(TTabSheet* v);
  int GetActivePageIndex() const;
  void SetActivePageIndex(int v);
  int GetPageCount() const { return int(FPages.size()); }
  TTabSheet* Page(int index) const { return FPages.at(size_t(index)); }
  TTabPosition GetTabPosition() const { return FTabPosition; }
  void SetTabPosition(TTabPosition v);
  VCL_PROPERTY(TPageControl, ActivePage);
  VCL_PROPERTY(TPageControl, ActivePageIndex);
  VCL_READONLY(TPageControl, PageCount);
  VCL_PROPERTY(TPageControl, TabPosition);
  class PageArray {
   public:
    explicit PageArray(const TPageControl* p) : p_(p) {}
    TTabSheet* operator[](int i) const { return p_->Page(i); }

   private:
    const TPageControl* p_;
  };
  PageArray Pages{this};
  TRect GetClientAreaRect() const override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  TNotifyEvent OnChange;

  // The layer's side.
  void InsertPage(TTabSheet* page);
  void RemovePage(TTabSheet* page);
  void PagesChanged();

 protected:
  void Paint() override;

 private:
  bool AnyTabVisible() const;
  std::vector<TTabSheet*> FPages;
  TTabSheet* FActivePage = nullptr;
  TTabPosition FTabPosition = tpTop;
};

enum TEdgeBorder { ebLeft, ebTop, ebRight, ebBottom };
typedef Set<TEdgeBorder, ebLeft, ebBottom> TEdgeBorders;

class TToolButton;
class TToolBar : public TCustomControl {
 public:
  explicit TToolBar(TComponent* AOwner);
  int GetButtonHeight() const { return FButtonHeight; }
  void SetButtonHeight(int v);
  int GetButtonWidth() const { return FButtonWidth; }
  void SetButtonWidth(int v);
  bool GetFlat() const { return FFlat; }
  void SetFlat(bool v) { FFlat = v; }
  bool GetAutoSize() const { return FAutoSize; }
  void SetAutoSize(bool v);
  TEdgeBorders GetEdgeBorders() const { return FEdgeBorders; }
  void SetEdgeBorders(TEdgeBorders v);
  bool GetShowCaptions() const { return FShowCaptions; }
  void SetShowCaptions(bool v);
  TCustomImageList* GetImages() const { return FImages; }
  void SetImages(TCustomImageList* v) { FImages = v; }
  VCL_PROPERTY(TToolBar, ButtonHeight);
  VCL_PROPERTY(TToolBar, ButtonWidth);
  VCL_PROPERTY(TToolBar, Flat);
  VCL_PROPERTY(TToolBar, AutoSize);
  VCL_PROPERTY(TToolBar, EdgeBorders);
  VCL_PROPERTY(TToolBar, ShowCaptions);
  VCL_PROPERTY(TToolBar, Images);
  int GetButtonCount() const;
  TToolButton* Button(int index) const;
  VCL_READONLY(TToolBar, ButtonCount);
  TRect GetClientAreaRect() const override;
  void AlignControls(TRect& rect) override;
  void Loaded() override;

 protected:
  void Paint() override;

 private:
  void AdjustSize();
  int FButtonHeight = 22, FButtonWidth = 23;
  bool FFlat = false, FAutoSize = false, FShowCaptions = false;
  TEdgeBorders FEdgeBorders{ebTop};
  TCustomImageList* FImages = nullptr;
};

enum TToolButtonStyle { tbsButton, tbsCheck, tbsDropDown, tbsSeparator, tbsDivider };

class TToolButton : public TGraphicControl {
 public:
  explicit TToolButton(TComponent* AOwner);
  int GetImageIndex() const { return FImageIndex; }
  void SetImageIndex(int v);
  TToolButtonStyle GetStyle() const { return FStyle; }
  void SetStyle(TToolButtonStyle v);
  VCL_PROPERTY(TToolButton, ImageIndex);
  VCL_PROPERTY(TToolButton, Style);
  void SetParent(TWinControl* parent) override;
  void SetText(const AnsiString& v) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseEnter() override;
  void MouseLeave() override;

 protected:
  void Paint() override;

 private:
  int FImageIndex = -1;
  TToolButtonStyle FStyle = tbsButton;
  bool FPressed = false;
};
