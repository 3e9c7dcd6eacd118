#include <QHeaderView>
#include <QHelpEvent>
#include <QProgressBar>
#include <QStyledItemDelegate>
#include <QToolTip>
#include <QTreeWidget>

#include "ComCtrls.h"
#include "UiPrivate.h"
#include "UiState.h"

// ---------------------------------------------------------------- list view

namespace {

QTreeWidget* TreeOf(const TControl* c) { return static_cast<QTreeWidget*>(c->Host()->widget.data()); }
QTreeWidgetItem* RowOf(const TListItem* item) { return static_cast<QTreeWidgetItem*>(item->Row); }

// Cells are drawn by the list view's custom-draw events where it has them.
class ListDelegate : public QStyledItemDelegate {
 public:
  // The view does not own its delegate: the delegate goes with its parent widget.
  ListDelegate(TCustomListView* view, QObject* parent) : QStyledItemDelegate(parent), view_(view) {}
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    TListItem* item = ItemAt(index.row());
    if (!item || (view_->ComponentState & csDestroying)) return QStyledItemDelegate::paint(painter, option, index);
    TCustomDrawState state;
    if (option.state & QStyle::State_Selected) state << cdsSelected;
    if (option.state & QStyle::State_HasFocus) state << cdsFocused;
    bool defaultDraw = true;
    TCanvasTarget* t = view_->GetCanvas()->Target();
    t->painter = painter;
    ui::Safely([&] {
      if (index.column() == 0) {
        if (view_->OnCustomDrawItem) view_->OnCustomDrawItem(view_, item, state, defaultDraw);
      } else if (view_->OnCustomDrawSubItem) {
        view_->OnCustomDrawSubItem(view_, item, index.column(), state, defaultDraw);
      }
    });
    t->painter = nullptr;
    if (defaultDraw) QStyledItemDelegate::paint(painter, option, index);
  }

 private:
  TListItem* ItemAt(int row) const {
    TListItems* items = view_->GetItems();
    return row >= 0 && row < items->GetCount() ? items->Item(row) : nullptr;
  }
  TCustomListView* view_;
};

class ListWidget : public QTreeWidget {
 public:
  explicit ListWidget(TCustomListView* view) : view_(view) {
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setItemDelegate(new ListDelegate(view, this));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    header()->setStretchLastSection(false);
    header()->setSectionsMovable(false);
    viewport()->setMouseTracking(true);
  }
  bool viewportEvent(QEvent* e) override {
    if (e->type() == QEvent::ToolTip) {
      auto* h = static_cast<QHelpEvent*>(e);
      QTreeWidgetItem* row = itemAt(h->pos());
      int index = row ? indexOfTopLevelItem(row) : -1;
      if (index >= 0 && index < view_->GetItems()->GetCount()) {
        AnsiString tip;
        ui::Safely([&] { tip = view_->InfoTipOf(view_->GetItems()->Item(index)); });
        if (!tip.IsEmpty()) QToolTip::showText(h->globalPos(), ui::QShown(tip), viewport());
        return true;
      }
    }
    return QTreeWidget::viewportEvent(e);
  }

 private:
  TCustomListView* view_;
};

}  // namespace

// The sub-items of a list item are the row's cells from column 1 on.
class TListItemStrings : public TStrings {
 public:
  explicit TListItemStrings(TListItem* item) : item_(item) {}
  int Count() const override { return int(items_.size()); }
  AnsiString Get(int index) const override {
    Check(index);
    return items_[size_t(index)];
  }
  void Put(int index, const AnsiString& s) override {
    Check(index);
    items_[size_t(index)] = s;
    Changed();
  }
  void Clear() override {
    items_.clear();
    Changed();
  }
  void Delete(int index) override {
    Check(index);
    items_.erase(items_.begin() + index);
    Changed();
  }
  void Insert(int index, const AnsiString& s) override {
    if (index < 0 || index > Count()) throw EStringListError(Format("List index out of bounds (%d)", index));
    items_.insert(items_.begin() + index, s);
    Changed();
  }

 private:
  void Check(int index) const {
    if (index < 0 || index >= Count()) throw EStringListError(Format("List index out of bounds (%d)", index));
  }
  void Changed() override {
    if (QTreeWidgetItem* row = RowOf(item_)) {
      for (int i = 0; i < int(items_.size()); ++i) row->setText(i + 1, ui::QShown(items_[size_t(i)]));
      for (int i = int(items_.size()) + 1; i < row->columnCount(); ++i) row->setText(i, QString());
    }
  }
  TListItem* item_;
  std::vector<AnsiString> items_;
};

TListItem::TListItem(TListItems* owner) : FOwner(owner), FSubItems(std::make_unique<TListItemStrings>(this)) {}

TListItem::~TListItem() = default;

void TListItem::SetCaption(const AnsiString& v) {
  FCaption = v;
  if (QTreeWidgetItem* row = RowOf(this)) row->setText(0, ui::QShown(v));
}

TStrings* TListItem::GetSubItems() const { return FSubItems.get(); }
void TListItem::SetSubItems(TStrings* v) { FSubItems->Assign(v); }
int TListItem::GetIndex() const { return FOwner->IndexOf(this); }
TCustomListView* TListItem::GetListView() const { return FOwner->GetOwner(); }

bool TListItem::GetSelected() const { return RowOf(this) && RowOf(this)->isSelected(); }
void TListItem::SetSelected(bool v) {
  if (QTreeWidgetItem* row = RowOf(this)) row->setSelected(v);
}

void TListItem::MakeVisible(bool) {
  if (QTreeWidgetItem* row = RowOf(this)) TreeOf(GetListView())->scrollToItem(row);
}

TRect TListItem::DisplayRect(TDisplayCode Code) const {
  QTreeWidgetItem* row = RowOf(this);
  if (!row) return TRect();
  QTreeWidget* tree = TreeOf(GetListView());
  QRect first = tree->visualItemRect(row);
  // The row's bounds span every column, also those scrolled out of view.
  int width = 0;
  for (int i = 0; i < tree->columnCount(); ++i) width += tree->header()->sectionSize(i);
  int left = first.left() - tree->header()->offset();
  left = -tree->header()->offset();
  if (Code == drLabel || Code == drIcon) width = tree->header()->sectionSize(0);
  return TRect(left, first.top(), left + width, first.top() + first.height());
}

void TListItem::Update() {
  if (RowOf(this)) TreeOf(GetListView())->viewport()->update();
}

void TListItem::Delete() { FOwner->Delete(GetIndex()); }

TListItems::~TListItems() { Clear(); }

TListItem* TListItems::Add() { return Insert(GetCount()); }

TListItem* TListItems::Insert(int index) {
  if (index < 0 || index > GetCount()) index = GetCount();
  auto* item = new TListItem(this);
  FItems.insert(FItems.begin() + index, item);
  FOwner->ItemAdded(item, index);
  return item;
}

void TListItems::Clear() {
  while (!FItems.empty()) Delete(GetCount() - 1);
}

void TListItems::Delete(int index) {
  if (index < 0 || index >= GetCount()) throw EListError(Format("List index out of bounds (%d)", index));
  TListItem* item = FItems[size_t(index)];
  // The deletion event sees the item while it is still in the list.
  if (FOwner->OnDeletion && !(FOwner->ComponentState & csDestroying))
    FOwner->OnDeletion(FOwner, item);
  else if (FOwner->OnDeletion)
    FOwner->OnDeletion(FOwner, item);
  FItems.erase(std::find(FItems.begin(), FItems.end(), item));
  FOwner->ItemRemoved(item);
  delete item;
}

int TListItems::IndexOf(const TListItem* item) const {
  auto it = std::find(FItems.begin(), FItems.end(), item);
  return it == FItems.end() ? -1 : int(it - FItems.begin());
}

void TListColumn::Changed() { FOwner->GetOwner()->ColumnsChanged(); }
void TListColumn::SetCaption(const AnsiString& v) { FCaption = v; Changed(); }
void TListColumn::SetWidth(int v) { FWidth = v; Changed(); }
void TListColumn::SetMinWidth(int v) { FMinWidth = v; Changed(); }
void TListColumn::SetMaxWidth(int v) { FMaxWidth = v; Changed(); }
void TListColumn::SetAlignment(TAlignment v) { FAlignment = v; Changed(); }
int TListColumn::GetIndex() const {
  for (int i = 0; i < FOwner->GetCount(); ++i)
    if (FOwner->Item(i) == this) return i;
  return -1;
}

TListColumns::~TListColumns() = default;

TListColumn* TListColumns::Add() {
  FColumns.push_back(std::make_unique<TListColumn>(this));
  FOwner->ColumnsChanged();
  return FColumns.back().get();
}

void TListColumns::Clear() {
  FColumns.clear();
  FOwner->ColumnsChanged();
}

TCustomListView::TCustomListView(TComponent* AOwner)
    : TWinControl(AOwner),
      FItems(std::make_unique<TListItems>(this)),
      FColumns(std::make_unique<TListColumns>(this)),
      FCanvas(std::make_unique<TCanvas>()) {
  ui::EnsureQt();
  auto* tree = new ListWidget(this);
  AttachHost(new TControlHost(this, tree));
  FWidth = 250;
  FHeight = 150;
  FColor = clWindow;
  FTabStop = true;
  QObject::connect(tree, &QTreeWidget::itemSelectionChanged, tree, [this] {
    if (ComponentState & (csLoading | csDestroying)) return;
    ui::Safely([&] {
      TListItem* s = GetSelected();
      if (OnSelectItem && s) OnSelectItem(this, s, true);
      if (OnChange) OnChange(this);
    });
  });
  QObject::connect(tree->header(), &QHeaderView::sectionMoved, tree, [this] {
    if (OnColumnDragged) ui::Safely([&] { OnColumnDragged(this); });
  });
}

TCustomListView::~TCustomListView() {
  ComponentState |= csDestroying;
  FItems->Clear();
}

void TCustomListView::SetGridLines(bool v) {
  FGridLines = v;
  TreeOf(this)->setStyleSheet(v ? QStringLiteral("QTreeView::item { border-right: 1px solid #d0d0d0; "
                                                 "border-bottom: 1px solid #d0d0d0; }")
                                : QString());
}

void TCustomListView::SetShowColumnHeaders(bool v) {
  FShowColumnHeaders = v;
  TreeOf(this)->setHeaderHidden(!v);
}

TListItem* TCustomListView::GetSelected() const {
  QList<QTreeWidgetItem*> sel = TreeOf(this)->selectedItems();
  if (sel.isEmpty()) return nullptr;
  int index = TreeOf(this)->indexOfTopLevelItem(sel.first());
  return index >= 0 && index < FItems->GetCount() ? FItems->Item(index) : nullptr;
}

void TCustomListView::SetSelected(TListItem* v) {
  TreeOf(this)->clearSelection();
  if (v) v->SetSelected(true);
}

int TCustomListView::GetItemIndex() const {
  TListItem* s = GetSelected();
  return s ? s->GetIndex() : -1;
}

void TCustomListView::SetItemIndex(int v) { SetSelected(v >= 0 && v < FItems->GetCount() ? FItems->Item(v) : nullptr); }

void TCustomListView::Invalidate() {
  TWinControl::Invalidate();
  TreeOf(this)->viewport()->update();
}

AnsiString TCustomListView::InfoTipOf(TListItem* item) {
  AnsiString tip = item->GetCaption();
  if (OnInfoTip) OnInfoTip(this, item, tip);
  return tip;
}

void TCustomListView::ItemAdded(TListItem* item, int index) {
  auto* row = new QTreeWidgetItem;
  item->Row = row;
  TreeOf(this)->insertTopLevelItem(index, row);
  row->setText(0, ui::QShown(item->GetCaption()));
}

void TCustomListView::ItemRemoved(TListItem* item) {
  if (QTreeWidgetItem* row = RowOf(item)) {
    item->Row = nullptr;
    delete row;
  }
}

void TCustomListView::ItemChanged(TListItem*) { Invalidate(); }

void TCustomListView::ColumnsChanged() {
  QTreeWidget* tree = TreeOf(this);
  int n = FColumns->GetCount();
  tree->setColumnCount(std::max(1, n));
  QStringList labels;
  for (int i = 0; i < n; ++i) labels << ui::Q(FColumns->Item(i)->GetCaption());
  tree->setHeaderLabels(labels);
  for (int i = 0; i < n; ++i) {
    TListColumn* c = FColumns->Item(i);
    tree->header()->resizeSection(i, c->GetWidth());
    bool fixed = c->GetMinWidth() > 0 && c->GetMinWidth() == c->GetMaxWidth();
    tree->header()->setSectionResizeMode(i, fixed ? QHeaderView::Fixed : QHeaderView::Interactive);
    Qt::Alignment a = c->GetAlignment() == taCenter ? Qt::AlignHCenter
                      : c->GetAlignment() == taRightJustify ? Qt::AlignRight
                                                            : Qt::AlignLeft;
    if (QTreeWidgetItem* h = tree->headerItem()) h->setTextAlignment(i, a | Qt::AlignVCenter);
  }
}

void TCustomListView::FontChanged() {
  TWinControl::FontChanged();
  FCanvas->GetFont()->Assign(GetFont());
}

// ---------------------------------------------------------------- progress bar

namespace {
QProgressBar* BarOf(const TControl* c) { return static_cast<QProgressBar*>(c->Host()->widget.data()); }
}  // namespace

TProgressBar::TProgressBar(TComponent* AOwner) : TWinControl(AOwner) {
  ui::EnsureQt();
  auto* b = new QProgressBar;
  b->setTextVisible(false);
  AttachHost(new TControlHost(this, b));
  FWidth = 150;
  FHeight = 16;
  Apply();
}

void TProgressBar::Apply() {
  QProgressBar* b = BarOf(this);
  b->setRange(FMin, std::max(FMin, FMax));
  b->setValue(std::clamp(FPosition, FMin, std::max(FMin, FMax)));
}

void TProgressBar::SetMin(int v) { FMin = v; SetPosition(FPosition); }
void TProgressBar::SetMax(int v) { FMax = v; SetPosition(FPosition); }
void TProgressBar::SetPosition(int v) {
  FPosition = std::clamp(v, FMin, std::max(FMin, FMax));
  Apply();
}

// ---------------------------------------------------------------- page control

static const int kTabHeight = 20;

TTabSheet::TTabSheet(TComponent* AOwner) : TCustomControl(AOwner) { FVisible = false; }

TTabSheet::~TTabSheet() {
  ComponentState |= csDestroying;
  if (FPageControl) FPageControl->RemovePage(this);
}

void TTabSheet::SetPageControl(TPageControl* v) { SetParent(v); }

void TTabSheet::SetParent(TWinControl* parent) {
  if (FPageControl && parent != FPageControl) FPageControl->RemovePage(this);
  TCustomControl::SetParent(parent);
  auto* pc = dynamic_cast<TPageControl*>(parent);
  if (pc && pc != FPageControl) {
    FPageControl = pc;
    pc->InsertPage(this);
  } else if (!pc) {
    FPageControl = nullptr;
  }
}

void TTabSheet::SetTabVisible(bool v) {
  FTabVisible = v;
  if (FPageControl) FPageControl->PagesChanged();
}

void TTabSheet::SetText(const AnsiString& v) {
  TCustomControl::SetText(v);
  if (FPageControl) FPageControl->Invalidate();
}

int TTabSheet::GetPageIndex() const {
  if (!FPageControl) return -1;
  for (int i = 0; i < FPageControl->GetPageCount(); ++i)
    if (FPageControl->Page(i) == this) return i;
  return -1;
}

int TTabSheet::GetTabIndex() const {
  if (!FPageControl || !FTabVisible) return -1;
  int n = 0;
  for (int i = 0; i < FPageControl->GetPageCount(); ++i) {
    if (FPageControl->Page(i) == this) return n;
    if (FPageControl->Page(i)->GetTabVisible()) ++n;
  }
  return -1;
}

TPageControl::TPageControl(TComponent* AOwner) : TCustomControl(AOwner) {
  FWidth = 289;
  FHeight = 193;
}

TPageControl::~TPageControl() {
  ComponentState |= csDestroying;
  for (TTabSheet* p : FPages) p->FPageControl = nullptr;
}

bool TPageControl::AnyTabVisible() const {
  for (TTabSheet* p : FPages)
    if (p->GetTabVisible()) return true;
  return false;
}

TRect TPageControl::GetClientAreaRect() const {
  int tabs = AnyTabVisible() ? kTabHeight : 0;
  TRect r(4, 4, std::max(4, FWidth - 4), std::max(4, FHeight - 4));
  if (FTabPosition == tpBottom) r.bottom -= tabs;
  else r.top += tabs;
  return r;
}

void TPageControl::InsertPage(TTabSheet* page) {
  if (std::find(FPages.begin(), FPages.end(), page) == FPages.end()) FPages.push_back(page);
  page->SetAlign(alClient);
  if (!FActivePage) SetActivePage(page);
  PagesChanged();
}

void TPageControl::RemovePage(TTabSheet* page) {
  FPages.erase(std::remove(FPages.begin(), FPages.end(), page), FPages.end());
  if (FActivePage == page) {
    FActivePage = nullptr;
    if (!(ComponentState & csDestroying) && !FPages.empty()) SetActivePage(FPages.front());
  }
  if (!(ComponentState & csDestroying)) PagesChanged();
}

void TPageControl::PagesChanged() {
  Realign();
  Invalidate();
}

void TPageControl::SetActivePage(TTabSheet* v) {
  if (v && v->FPageControl != this) return;
  if (v == FActivePage) return;
  TTabSheet* old = FActivePage;
  FActivePage = v;
  if (old) {
    old->SetVisible(false);
    if (old->OnHide) old->OnHide(old);
  }
  if (v) {
    v->SetVisible(true);
    v->BringToFront();
    if (v->OnShow) v->OnShow(v);
  }
  Realign();
  Invalidate();
}

int TPageControl::GetActivePageIndex() const { return FActivePage ? FActivePage->GetPageIndex() : -1; }
void TPageControl::SetActivePageIndex(int v) { SetActivePage(v >= 0 && v < GetPageCount() ? FPages[size_t(v)] : nullptr); }
void TPageControl::SetTabPosition(TTabPosition v) { FTabPosition = v; PagesChanged(); }

void TPageControl::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TCustomControl::MouseDown(Button, Shift, X, Y);
  if (!AnyTabVisible()) return;
  int top = FTabPosition == tpBottom ? FHeight - 4 - kTabHeight : 0;
  if (Y < top || Y >= top + kTabHeight + 4) return;
  int x = 4;
  for (TTabSheet* p : FPages) {
    if (!p->GetTabVisible()) continue;
    int w = GetCanvas()->TextWidth(p->GetCaption()) + 16;
    if (X >= x && X < x + w) {
      SetActivePage(p);
      if (OnChange) OnChange(this);
      return;
    }
    x += w;
  }
}

void TPageControl::Paint() {
  TCanvas* c = GetCanvas();
  c->GetBrush()->SetColor(FColor);
  c->GetBrush()->SetStyle(bsSolid);
  c->FillRect(GetClientRect());
  if (!AnyTabVisible()) return;
  int top = FTabPosition == tpBottom ? FHeight - 4 - kTabHeight : 0;
  int x = 4;
  for (TTabSheet* p : FPages) {
    if (!p->GetTabVisible()) continue;
    int w = c->TextWidth(p->GetCaption()) + 16;
    c->GetPen()->SetColor(clBtnShadow);
    c->GetBrush()->SetColor(p == FActivePage ? clBtnFace : clBtnShadow);
    c->Rectangle(x, top, x + w, top + kTabHeight);
    c->GetBrush()->SetStyle(bsClear);
    c->TextOut(x + 8, top + 3, p->GetCaption());
    c->GetBrush()->SetStyle(bsSolid);
    x += w;
  }
}

// ---------------------------------------------------------------- tool bar

TToolBar::TToolBar(TComponent* AOwner) : TCustomControl(AOwner) {
  FWidth = 150;
  FHeight = 29;
  FAlign = alTop;
}

void TToolBar::SetButtonHeight(int v) { FButtonHeight = v; AdjustSize(); Realign(); }
void TToolBar::SetButtonWidth(int v) { FButtonWidth = v; Realign(); }
void TToolBar::SetAutoSize(bool v) { FAutoSize = v; AdjustSize(); }
void TToolBar::SetEdgeBorders(TEdgeBorders v) { FEdgeBorders = v; AdjustSize(); Realign(); }
void TToolBar::SetShowCaptions(bool v) { FShowCaptions = v; Invalidate(); }

int TToolBar::GetButtonCount() const {
  int n = 0;
  for (int i = 0; i < GetControlCount(); ++i)
    if (dynamic_cast<TToolButton*>(Control(i))) ++n;
  return n;
}

TToolButton* TToolBar::Button(int index) const {
  for (int i = 0; i < GetControlCount(); ++i)
    if (auto* b = dynamic_cast<TToolButton*>(Control(i)); b && index-- == 0) return b;
  return nullptr;
}

TRect TToolBar::GetClientAreaRect() const {
  TRect r(0, 0, FWidth, FHeight);
  if (FEdgeBorders.Contains(ebLeft)) r.left += 2;
  if (FEdgeBorders.Contains(ebTop)) r.top += 2;
  if (FEdgeBorders.Contains(ebRight)) r.right -= 2;
  if (FEdgeBorders.Contains(ebBottom)) r.bottom -= 2;
  return r;
}

void TToolBar::AdjustSize() {
  if (!FAutoSize || (ComponentState & csLoading)) return;
  int h = FButtonHeight + (FEdgeBorders.Contains(ebTop) ? 2 : 0) + (FEdgeBorders.Contains(ebBottom) ? 2 : 0);
  SetBounds(FLeft, FTop, FWidth, h);
}

void TToolBar::Loaded() {
  TCustomControl::Loaded();
  AdjustSize();
  Realign();
}

void TToolBar::AlignControls(TRect& rect) {
  int x = rect.left;
  for (int i = 0; i < GetControlCount(); ++i) {
    auto* b = dynamic_cast<TToolButton*>(Control(i));
    if (!b || !b->GetVisible()) continue;
    int w = b->GetStyle() == tbsSeparator || b->GetStyle() == tbsDivider ? 8 : FButtonWidth;
    b->SetBounds(x, rect.top, w, FButtonHeight);
    x += w;
  }
}

void TToolBar::Paint() {
  TCanvas* c = GetCanvas();
  c->GetBrush()->SetColor(FColor);
  c->GetBrush()->SetStyle(bsSolid);
  c->FillRect(GetClientRect());
  c->GetPen()->SetColor(clBtnShadow);
  if (FEdgeBorders.Contains(ebTop)) {
    c->MoveTo(0, 0);
    c->LineTo(FWidth, 0);
  }
  if (FEdgeBorders.Contains(ebBottom)) {
    c->MoveTo(0, FHeight - 2);
    c->LineTo(FWidth, FHeight - 2);
  }
}

TToolButton::TToolButton(TComponent* AOwner) : TGraphicControl(AOwner) {
  FWidth = 23;
  FHeight = 22;
}

void TToolButton::SetImageIndex(int v) { FImageIndex = v; Invalidate(); }
void TToolButton::SetStyle(TToolButtonStyle v) {
  FStyle = v;
  if (FParent) FParent->Realign();
}

void TToolButton::SetParent(TWinControl* parent) {
  TGraphicControl::SetParent(parent);
  if (parent) parent->Realign();
}

void TToolButton::SetText(const AnsiString& v) {
  TGraphicControl::SetText(v);
  Invalidate();
}

void TToolButton::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TGraphicControl::MouseDown(Button, Shift, X, Y);
  if (Button == mbLeft && FEnabled) {
    FPressed = true;
    Invalidate();
  }
}

void TToolButton::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  FPressed = false;
  Invalidate();
  TGraphicControl::MouseUp(Button, Shift, X, Y);
}

void TToolButton::MouseEnter() { TGraphicControl::MouseEnter(); Invalidate(); }
void TToolButton::MouseLeave() { TGraphicControl::MouseLeave(); Invalidate(); }

void TToolButton::Paint() {
  TCanvas* c = GetCanvas();
  if (FStyle == tbsSeparator || FStyle == tbsDivider) return;
  if (FPressed || FMouseInControl) {
    c->GetPen()->SetColor(FPressed ? clBtnShadow : clBtnHighlight);
    c->MoveTo(0, FHeight - 1);
    c->LineTo(0, 0);
    c->LineTo(FWidth - 1, 0);
    c->GetPen()->SetColor(FPressed ? clBtnHighlight : clBtnShadow);
    c->LineTo(FWidth - 1, FHeight - 1);
    c->LineTo(0, FHeight - 1);
  }
  auto* bar = dynamic_cast<TToolBar*>(FParent);
  if (bar && bar->GetImages() && FImageIndex >= 0) bar->GetImages()->Draw(c, 2, 2, FImageIndex, FEnabled);
  if (!bar || bar->GetShowCaptions()) {
    TRect r = GetClientRect();
    c->GetBrush()->SetStyle(bsClear);
    DrawTextA(c->GetHandle(), FText.c_str(), -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  }
}
