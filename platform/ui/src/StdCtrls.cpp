#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QLineEdit>
#include <QPushButton>

#include "Forms.h"
#include "StdCtrls.h"
#include "UiPrivate.h"
#include "UiState.h"

// ---------------------------------------------------------------- label

TLabel::TLabel(TComponent* AOwner) : TGraphicControl(AOwner) {
  FWidth = 65;
  FHeight = 13;
  FParentColor = true;
}

void TLabel::SetAutoSize(bool v) {
  FAutoSize = v;
  AdjustBounds();
}
void TLabel::SetAlignment(TAlignment v) {
  FAlignment = v;
  Invalidate();
}
void TLabel::SetTransparent(bool v) {
  FTransparent = v;
  Invalidate();
}
void TLabel::SetWordWrap(bool v) {
  FWordWrap = v;
  AdjustBounds();
}
void TLabel::SetLayout(TTextLayout v) {
  FLayout = v;
  Invalidate();
}

void TLabel::SetText(const AnsiString& v) {
  if (v == FText) return;
  FText = v;
  AdjustBounds();
  Invalidate();
}

void TLabel::Loaded() {
  TGraphicControl::Loaded();
  AdjustBounds();
}

void TLabel::FontChanged() {
  TGraphicControl::FontChanged();
  AdjustBounds();
}

void TLabel::AdjustBounds() {
  if (!FAutoSize || (ComponentState & csLoading)) return;
  RECT r{0, 0, FWordWrap ? FWidth : 0, 0};
  GetCanvas()->GetFont()->Assign(GetFont());
  AnsiString text = FText.IsEmpty() ? AnsiString(" ") : ui::Shown(FText);
  DrawTextA(GetCanvas()->GetHandle(), text.c_str(), -1, &r, DT_CALCRECT | (FWordWrap ? DT_WORDBREAK : 0));
  int w = r.right - r.left, h = r.bottom - r.top;
  int left = FLeft;
  if (FAlignment == taRightJustify && !FWordWrap) left = FLeft + FWidth - w;
  SetBounds(left, FTop, w, h);
}

void TLabel::Paint() {
  TCanvas* c = GetCanvas();
  TRect rect = GetClientRect();
  if (!FTransparent) {
    c->GetBrush()->SetColor(FColor);
    c->GetBrush()->SetStyle(bsSolid);
    c->FillRect(rect);
  }
  c->GetBrush()->SetStyle(bsClear);
  UINT flags = FWordWrap ? DT_WORDBREAK : 0;
  if (FAlignment == taCenter) flags |= DT_CENTER;
  if (FAlignment == taRightJustify) flags |= DT_RIGHT;
  if (!FWordWrap) {
    flags |= DT_SINGLELINE;
    if (FLayout == tlCenter) flags |= DT_VCENTER;
    if (FLayout == tlBottom) flags |= DT_BOTTOM;
  }
  if (!FEnabled) c->GetFont()->SetColor(clGrayText);
  DrawTextA(c->GetHandle(), ui::Shown(FText).c_str(), -1, &rect, flags);
}

// ---------------------------------------------------------------- edit

namespace {
QLineEdit* EditOf(const TControl* c) { return static_cast<QLineEdit*>(c->Host()->widget.data()); }
}  // namespace

TEdit::TEdit(TComponent* AOwner) : TWinControl(AOwner) {
  ui::EnsureQt();
  auto* e = new QLineEdit;
  AttachHost(new TControlHost(this, e));
  FWidth = 121;
  FHeight = 21;
  FColor = clWindow;
  FTabStop = true;
  QObject::connect(e, &QLineEdit::textChanged, e, [this](const QString&) {
    if (OnChange && !(ComponentState & (csLoading | csDestroying))) ui::Safely([&] { OnChange(this); });
  });
  SetColor(clWindow);
}

AnsiString TEdit::GetText() const { return ui::A(EditOf(this)->text()); }
void TEdit::SetText(const AnsiString& v) { EditOf(this)->setText(ui::Q(v)); }

void TEdit::SetPasswordChar(char v) {
  FPasswordChar = v;
  QLineEdit* e = EditOf(this);
  e->setEchoMode(v ? QLineEdit::Password : QLineEdit::Normal);
  if (v) e->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: %1; }").arg(int((unsigned char)v)));
}

bool TEdit::GetReadOnly() const { return EditOf(this)->isReadOnly(); }
void TEdit::SetReadOnly(bool v) { EditOf(this)->setReadOnly(v); }
int TEdit::GetMaxLength() const {
  int m = EditOf(this)->maxLength();
  return m == 32767 ? 0 : m;
}
void TEdit::SetMaxLength(int v) { EditOf(this)->setMaxLength(v > 0 ? v : 32767); }
int TEdit::GetSelStart() const { return EditOf(this)->selectionStart() < 0 ? EditOf(this)->cursorPosition() : EditOf(this)->selectionStart(); }
void TEdit::SetSelStart(int v) { EditOf(this)->setCursorPosition(v); }
int TEdit::GetSelLength() const { return int(EditOf(this)->selectedText().size()); }
void TEdit::SetSelLength(int v) { EditOf(this)->setSelection(GetSelStart(), v); }
void TEdit::SelectAll() { EditOf(this)->selectAll(); }

void TEdit::SetBorderStyle(int v) {
  FBorderStyle = v;
  EditOf(this)->setFrame(v != 0);
}

void TEdit::SetColor(TColor v) {
  TWinControl::SetColor(v);
  QPalette p = EditOf(this)->palette();
  p.setColor(QPalette::Base, ui::ToQColor(v));
  p.setColor(QPalette::Text, ui::ToQColor(FFont->GetColor()));
  EditOf(this)->setPalette(p);
}

void TEdit::FontChanged() {
  TWinControl::FontChanged();
  SetColor(FColor);
}

// ---------------------------------------------------------------- check box

namespace {
QCheckBox* CheckOf(const TControl* c) { return static_cast<QCheckBox*>(c->Host()->widget.data()); }
}  // namespace

TCheckBox::TCheckBox(TComponent* AOwner) : TWinControl(AOwner) {
  ui::EnsureQt();
  auto* b = new QCheckBox;
  AttachHost(new TControlHost(this, b));
  FWidth = 97;
  FHeight = 17;
  FTabStop = true;
  FParentColor = true;
  // The class library reports every change of Checked as a click, also one made by the program.
  QObject::connect(b, &QCheckBox::toggled, b, [this](bool) {
    if (!(ComponentState & (csLoading | csDestroying))) ui::Safely([&] { Click(); });
  });
}

bool TCheckBox::GetChecked() const { return CheckOf(this)->isChecked(); }
void TCheckBox::SetChecked(bool v) { CheckOf(this)->setChecked(v); }
void TCheckBox::SetText(const AnsiString& v) {
  FText = v;
  CheckOf(this)->setText(ui::Q(v));
}
void TCheckBox::SetColor(TColor v) {
  TWinControl::SetColor(v);
  QPalette p = CheckOf(this)->palette();
  p.setColor(QPalette::Window, ui::ToQColor(v));
  p.setColor(QPalette::WindowText, ui::ToQColor(FFont->GetColor()));
  CheckOf(this)->setPalette(p);
}
void TCheckBox::FontChanged() {
  TWinControl::FontChanged();
  SetColor(FColor);
}

// ---------------------------------------------------------------- combo box

namespace {
QComboBox* ComboOf(const TControl* c) { return static_cast<QComboBox*>(c->Host()->widget.data()); }
}  // namespace

// The items of a combo box are the box's own entries.
class TComboBoxStrings : public TStrings {
 public:
  explicit TComboBoxStrings(TComboBox* box) : box_(box) {}
  int Count() const override { return ComboOf(box_)->count(); }
  AnsiString Get(int index) const override {
    Check(index);
    return ui::A(ComboOf(box_)->itemText(index));
  }
  void Put(int index, const AnsiString& s) override {
    Check(index);
    ComboOf(box_)->setItemText(index, ui::QShown(s));
  }
  TObject* GetObject(int index) const override {
    Check(index);
    return reinterpret_cast<TObject*>(ComboOf(box_)->itemData(index).value<quintptr>());
  }
  void PutObject(int index, TObject* obj) override {
    Check(index);
    ComboOf(box_)->setItemData(index, QVariant::fromValue(quintptr(obj)));
  }
  void Clear() override { ComboOf(box_)->clear(); }
  void Delete(int index) override {
    Check(index);
    ComboOf(box_)->removeItem(index);
  }
  void Insert(int index, const AnsiString& s) override {
    if (index < 0 || index > Count()) throw EStringListError(Format("List index out of bounds (%d)", index));
    ComboOf(box_)->insertItem(index, ui::QShown(s), QVariant::fromValue(quintptr(0)));
  }
  int Add(const AnsiString& s) override { return AddObject(s, nullptr); }
  int AddObject(const AnsiString& s, TObject* obj) override {
    int index = Count();
    if (box_->GetSorted()) {
      index = 0;
      while (index < Count() && AnsiCompareText(Get(index), s) <= 0) ++index;
    }
    Insert(index, s);
    PutObject(index, obj);
    return index;
  }
  void Sort() {
    std::vector<std::pair<AnsiString, TObject*>> items;
    for (int i = 0; i < Count(); ++i) items.emplace_back(Get(i), GetObject(i));
    std::stable_sort(items.begin(), items.end(),
                     [](const auto& a, const auto& b) { return AnsiCompareText(a.first, b.first) < 0; });
    AnsiString current = box_->GetItemIndex() >= 0 ? Get(box_->GetItemIndex()) : AnsiString();
    QSignalBlocker block(ComboOf(box_));
    ComboOf(box_)->clear();
    for (auto& [s, o] : items) ComboOf(box_)->addItem(ui::QShown(s), QVariant::fromValue(quintptr(o)));
    ComboOf(box_)->setCurrentIndex(-1);
  }

 private:
  void Check(int index) const {
    if (index < 0 || index >= Count()) throw EStringListError(Format("List index out of bounds (%d)", index));
  }
  TComboBox* box_;
};

TComboBox::TComboBox(TComponent* AOwner) : TWinControl(AOwner) {
  ui::EnsureQt();
  auto* c = new QComboBox;
  AttachHost(new TControlHost(this, c));
  FItems = std::make_unique<TComboBoxStrings>(this);
  FWidth = 145;
  FHeight = 21;
  FTabStop = true;
  FColor = clWindow;
  c->setEditable(true);
  QObject::connect(c, QOverload<int>::of(&QComboBox::activated), c, [this](int) {
    if (ComponentState & (csLoading | csDestroying)) return;
    ui::Safely([&] {
      if (OnChange) OnChange(this);
      if (OnSelect) OnSelect(this);
    });
  });
  QObject::connect(c, &QComboBox::editTextChanged, c, [this](const QString&) {
    if (FStyle != csDropDownList && OnChange && !(ComponentState & (csLoading | csDestroying)) &&
        ComboOf(this)->hasFocus())
      ui::Safely([&] { OnChange(this); });
  });
}

TComboBox::~TComboBox() = default;

TStrings* TComboBox::GetItems() const { return FItems.get(); }
void TComboBox::SetItems(TStrings* v) { FItems->Assign(v); }
int TComboBox::GetItemIndex() const { return ComboOf(this)->currentIndex(); }
void TComboBox::SetItemIndex(int v) {
  QSignalBlocker block(ComboOf(this));
  ComboOf(this)->setCurrentIndex(v >= -1 && v < ComboOf(this)->count() ? v : -1);
  if (GetItemIndex() < 0 && FStyle != csDropDownList) ComboOf(this)->setEditText(QString());
}
void TComboBox::SetSorted(bool v) {
  if (v == FSorted) return;
  FSorted = v;
  if (v) FItems->Sort();
}
void TComboBox::SetStyle(TComboBoxStyle v) {
  FStyle = v;
  ComboOf(this)->setEditable(v == csDropDown || v == csSimple);
}
void TComboBox::SetDropDownCount(int v) {
  FDropDownCount = v;
  ComboOf(this)->setMaxVisibleItems(std::max(1, v));
}
AnsiString TComboBox::GetText() const { return ui::A(ComboOf(this)->currentText()); }
void TComboBox::SetText(const AnsiString& v) {
  QComboBox* c = ComboOf(this);
  if (c->isEditable()) {
    c->setEditText(ui::Q(v));
  } else {
    int i = c->findText(ui::QShown(v), Qt::MatchFixedString);
    c->setCurrentIndex(i);
  }
}
void TComboBox::Clear() {
  FItems->Clear();
  ComboOf(this)->setEditText(QString());
}
void TComboBox::FontChanged() { TWinControl::FontChanged(); }

// ---------------------------------------------------------------- button

namespace {
QPushButton* ButtonOf(const TControl* c) { return static_cast<QPushButton*>(c->Host()->widget.data()); }
}  // namespace

TButton::TButton(TComponent* AOwner) : TWinControl(AOwner) {
  ui::EnsureQt();
  auto* b = new QPushButton;
  b->setAutoDefault(false);
  AttachHost(new TControlHost(this, b));
  FWidth = 75;
  FHeight = 25;
  FTabStop = true;
  QObject::connect(b, &QPushButton::clicked, b, [this] {
    if (!(ComponentState & csDestroying)) ui::Safely([&] { Click(); });
  });
}

void TButton::SetDefault(bool v) {
  FDefault = v;
  ButtonOf(this)->setDefault(v);
}

void TButton::SetText(const AnsiString& v) {
  FText = v;
  ButtonOf(this)->setText(ui::Q(v));
}

void TButton::Click() {
  if (TCustomForm* f = ParentForm(); f && FModalResult != mrNone) f->SetModalResult(FModalResult);
  TWinControl::Click();
}

void TButton::FontChanged() { TWinControl::FontChanged(); }
