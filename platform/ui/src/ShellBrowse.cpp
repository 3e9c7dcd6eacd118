// The folder browser of SHBrowseForFolderA, item lists, the shell's allocator and desktop folder.
// An item list holds one item: a kind byte ('F' a folder by DOS path, 'C' the drives) and the
// path; the desktop is the empty list.
#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QVBoxLayout>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "Forms.h"
#include "UiPrivate.h"
#include "UiState.h"
#include "shlobj.h"
#include "winplat.h"

namespace fs = std::filesystem;

namespace {

// The longest folder path CreateDirectoryA takes (MAX_PATH less room for an 8.3 file name).
constexpr int kMaxFolderPath = MAX_PATH - 12 - 1;
constexpr char kNameTooLong[] = "파일 이름이 너무 깁니다. 더 짧은 이름을 지정하십시오.";
constexpr char kNameTaken[] = "같은 이름의 파일이나 폴더가 이미 있습니다. 다른 이름을 지정하십시오.";

LPITEMIDLIST MakeList(char kind, const std::string& path) {
  size_t cb = 2 + 1 + path.size();
  auto* p = static_cast<BYTE*>(std::calloc(1, cb + 2));
  if (!p) return nullptr;
  p[0] = BYTE(cb & 0xFF);
  p[1] = BYTE(cb >> 8);
  p[2] = BYTE(kind);
  std::memcpy(p + 3, path.data(), path.size());
  return reinterpret_cast<LPITEMIDLIST>(p);
}

LPITEMIDLIST EmptyList() { return static_cast<LPITEMIDLIST>(std::calloc(1, 2)); }

// kind and path of a list ('\0' for the desktop)
char KindOf(LPCITEMIDLIST pidl, std::string* path = nullptr) {
  if (!pidl || pidl->mkid.cb < 3) return 0;
  if (path) path->assign(reinterpret_cast<const char*>(pidl->mkid.abID) + 1, pidl->mkid.cb - 3);
  return char(pidl->mkid.abID[0]);
}

class Malloc : public IMalloc {
 public:
  HRESULT WINAPI QueryInterface(REFIID, void** ppv) override {
    *ppv = this;
    return S_OK;
  }
  ULONG WINAPI AddRef() override { return 2; }
  ULONG WINAPI Release() override { return 1; }
  void* WINAPI Alloc(SIZE_T cb) override { return std::malloc(cb); }
  void* WINAPI Realloc(void* pv, SIZE_T cb) override { return std::realloc(pv, cb); }
  void WINAPI Free(void* pv) override { std::free(pv); }
  SIZE_T WINAPI GetSize(void*) override { return SIZE_T(-1); }
  int WINAPI DidAlloc(void*) override { return -1; }
  void WINAPI HeapMinimize() override {}
};

AnsiString DisplayName(LPCITEMIDLIST pidl) {
  std::string path;
  switch (KindOf(pidl, &path)) {
    case 0: return winplat::Utf8ToCp949("바탕 화면");
    case 'C': return winplat::Utf8ToCp949("내 컴퓨터");
    default: {
      if (path.size() == 3 && path[1] == ':') {
        char label[MAX_PATH] = {0};
        GetVolumeInformationA(path.c_str(), label, sizeof label, nullptr, nullptr, nullptr, nullptr, 0);
        return *label ? Format("%s (%c:)", label, path[0]) : Format("(%c:)", path[0]);
      }
      return ExtractFileName(AnsiString(path));
    }
  }
}

class DesktopFolder : public IShellFolder {
 public:
  HRESULT WINAPI QueryInterface(REFIID, void** ppv) override {
    *ppv = this;
    AddRef();
    return S_OK;
  }
  ULONG WINAPI AddRef() override { return ULONG(++refs_); }
  ULONG WINAPI Release() override {
    long n = --refs_;
    if (n == 0) delete this;
    return ULONG(n);
  }
  HRESULT WINAPI ParseDisplayName(HWND, void*, LPWSTR name, ULONG* eaten, LPITEMIDLIST* ppidl, ULONG*) override {
    if (!name || !ppidl) return E_INVALIDARG;
    *ppidl = nullptr;
    std::string path = winplat::WideToCp949(name);
    AnsiString full = ExpandFileName(AnsiString(path));
    if (!DirectoryExists(full) && !FileExists(full)) return E_FAIL;
    *ppidl = MakeList('F', ExcludeTrailingBackslash(full).Length() == 2 ? full.str() : ExcludeTrailingBackslash(full).str());
    if (eaten) *eaten = ULONG(std::wcslen(name));
    return *ppidl ? S_OK : E_OUTOFMEMORY;
  }
  HRESULT WINAPI EnumObjects(HWND, DWORD, void**) override { return E_NOTIMPL; }
  HRESULT WINAPI BindToObject(LPCITEMIDLIST, void*, REFIID, void**) override { return E_NOTIMPL; }
  HRESULT WINAPI BindToStorage(LPCITEMIDLIST, void*, REFIID, void**) override { return E_NOTIMPL; }
  HRESULT WINAPI CompareIDs(LPARAM, LPCITEMIDLIST, LPCITEMIDLIST) override { return E_NOTIMPL; }
  HRESULT WINAPI CreateViewObject(HWND, REFIID, void**) override { return E_NOTIMPL; }
  HRESULT WINAPI GetAttributesOf(UINT, LPCITEMIDLIST*, SFGAOF*) override { return E_NOTIMPL; }
  HRESULT WINAPI GetUIObjectOf(HWND, UINT, LPCITEMIDLIST*, REFIID, UINT*, void**) override { return E_NOTIMPL; }
  HRESULT WINAPI GetDisplayNameOf(LPCITEMIDLIST pidl, DWORD, STRRET* name) override {
    if (!name) return E_INVALIDARG;
    name->uType = STRRET_CSTR;
    lstrcpynA(name->cStr, DisplayName(pidl).c_str(), MAX_PATH);
    return S_OK;
  }
  HRESULT WINAPI SetNameOf(HWND, LPCITEMIDLIST, LPCWSTR, DWORD, LPITEMIDLIST*) override { return E_NOTIMPL; }

 private:
  long refs_ = 1;
};

// ---------------------------------------------------------------- the dialog

class BrowseDialog : public QDialog, public uitest::FolderDialog {
 public:
  BrowseDialog(LPBROWSEINFOA bi) : bi_(bi) {
    setWindowTitle(ui::Q(winplat::Utf8ToCp949("폴더 찾아보기")));
    auto* v = new QVBoxLayout(this);
    title_ = new QLabel(ui::Q(AnsiString(bi->lpszTitle ? bi->lpszTitle : "")));
    title_->setWordWrap(true);
    v->addWidget(title_);
    status_ = new QLabel;
    status_->setVisible(bi->ulFlags & BIF_STATUSTEXT);
    v->addWidget(status_);
    tree_ = new QTreeWidget;
    tree_->setHeaderHidden(true);
    v->addWidget(tree_);
    if (bi->ulFlags & BIF_EDITBOX) {
      edit_ = new QLineEdit;
      v->addWidget(edit_);
    }
    auto* row = new QHBoxLayout;
    if ((bi->ulFlags & BIF_NEWDIALOGSTYLE) && !(bi->ulFlags & BIF_NONEWFOLDERBUTTON)) {
      newFolder_ = new QPushButton(ui::Q(winplat::Utf8ToCp949("새 폴더 만들기")));
      row->addWidget(newFolder_);
      QObject::connect(newFolder_, &QPushButton::clicked, this, [this] { AskNewFolder(); });
    }
    row->addStretch();
    ok_ = new QPushButton(ui::ButtonText(IDOK));
    auto* cancel = new QPushButton(ui::ButtonText(IDCANCEL));
    row->addWidget(ok_);
    row->addWidget(cancel);
    v->addLayout(row);
    // Enter confirms the selection, from the tree the dialog opens with.
    ok_->setDefault(true);
    QObject::connect(ok_, &QPushButton::clicked, this, [this] { Ok(); });
    QObject::connect(cancel, &QPushButton::clicked, this, [this] { Cancel(); });
    QObject::connect(tree_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item, QTreeWidgetItem*) {
      Selected(item);
    });
    QObject::connect(tree_, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* item) { Fill(item); });
    ui::WindowRecord r;
    r.className = "#32770";
    r.widget = this;
    r.proc = [this](UINT m, WPARAM w, LPARAM l) { return Message(m, w, l); };
    r.setText = [this](const AnsiString& t) { setWindowTitle(ui::Q(t)); };
    r.getText = [this] { return ui::A(windowTitle()); };
    hwnd_ = ui::NewWindow(r);
    BuildRoot();
    tree_->setFocus();
  }
  ~BrowseDialog() override { ui::DeleteWindow(hwnd_); }

  LPITEMIDLIST Run() {
    setWindowFlags(ui::DialogFrame(ui::ProgramStaysOnTop(this)));
    ui::SetBoxOwner(this, ui::BoxOwner(this));
    QTimer::singleShot(0, this, [this] {
      Callback(BFFM_INITIALIZED, 0);
      if (auto hook = ui::State().folderHook) ui::Safely([&] { hook(*this); });
    });
    int r = exec();
    if (r != QDialog::Accepted) return nullptr;
    if (bi_->pszDisplayName) lstrcpynA(bi_->pszDisplayName, DisplayName(chosen_).c_str(), MAX_PATH);
    return chosen_;
  }

  // uitest::FolderDialog
  unsigned Flags() const override { return bi_->ulFlags; }
  AnsiString Title() const override { return ui::A(title_->text()); }
  AnsiString Caption() const override { return ui::A(windowTitle()); }
  AnsiString StatusText() const override { return ui::A(status_->text()); }
  AnsiString RootPath() const override {
    std::string p;
    char k = KindOf(bi_->pidlRoot, &p);
    return k == 'C' ? AnsiString("::drives") : AnsiString(p);
  }
  AnsiString SelectedPath() const override {
    QTreeWidgetItem* i = tree_->currentItem();
    return i ? ui::A(i->data(0, Qt::UserRole).toString()) : AnsiString();
  }
  bool OkEnabled() const override { return ok_->isEnabled(); }
  bool HasEditBox() const override { return edit_ != nullptr; }
  bool HasNewFolderButton() const override { return newFolder_ != nullptr; }
  bool Select(const AnsiString& dosPath) override {
    if (dosPath.IsEmpty() || dosPath == "::drives") return SelectKind(dosPath.IsEmpty() ? "D" : "C");
    return SelectPath(dosPath);
  }
  bool SelectPath(const AnsiString& dosPath) {
    QTreeWidgetItem* i = FindItem(ExcludeTrailingBackslash(dosPath));
    if (!i && dosPath.Length() == 3) i = FindItem(dosPath);
    if (!i) return false;
    tree_->setCurrentItem(i);
    return true;
  }
  void TypeName(const AnsiString& name) override {
    if (edit_) edit_->setText(ui::Q(name));
  }
  void NewFolder(const AnsiString& name) override { MakeFolder(name); }
  void Ok() override {
    if (!ok_->isEnabled()) return;
    if (edit_ && !edit_->text().isEmpty()) {
      AnsiString typed = ui::A(edit_->text());
      AnsiString full = typed.Pos(":") ? typed : IncludeTrailingBackslash(SelectedPath()) + typed;
      if (!DirectoryExists(full)) {
        if ((bi_->ulFlags & BIF_VALIDATE) && bi_->lpfn) {
          std::string t = typed.str();
          if (Callback(BFFM_VALIDATEFAILEDA, LPARAM(t.c_str()))) return;  // keep the dialog open
          reject();
          return;
        }
        return;
      }
      SelectPath(full);
    }
    QTreeWidgetItem* i = tree_->currentItem();
    if (!i) return;
    chosen_ = ListOf(i);
    accept();
  }
  void Cancel() override { reject(); }
  bool IsOpen() const override { return isVisible(); }
  HWND Handle() const override { return hwnd_; }

 private:
  enum class Made { Created, Refused, Nothing };
  // The name box of "새 폴더 만들기": it stays up while the name is refused.
  void AskNewFolder() {
    QDialog box(this);
    bool onTop = ui::ProgramStaysOnTop(&box);
    box.setWindowFlags(ui::DialogFrame(onTop));
    box.setWindowTitle(windowTitle());
    auto* v = new QVBoxLayout(&box);
    v->addWidget(new QLabel(QString::fromUtf8("새 폴더 이름을 입력하십시오:")));
    auto* edit = new QLineEdit;
    v->addWidget(edit);
    auto* row = new QHBoxLayout;
    row->addStretch();
    auto* ok = new QPushButton(ui::ButtonText(IDOK));
    auto* cancel = new QPushButton(ui::ButtonText(IDCANCEL));
    ok->setDefault(true);
    row->addWidget(ok);
    row->addWidget(cancel);
    v->addLayout(row);
    QObject::connect(ok, &QPushButton::clicked, &box, [&] {
      if (MakeFolder(ui::A(edit->text())) != Made::Refused) {
        box.accept();
        return;
      }
      edit->selectAll();
      edit->setFocus();
    });
    QObject::connect(cancel, &QPushButton::clicked, &box, &QDialog::reject);
    edit->setFocus();
    ui::SetBoxOwner(&box, ui::BoxOwner(&box));
    ui::OpenBox open(&box, onTop ? WS_EX_TOPMOST : 0);
    box.exec();
  }
  // A folder named as typed, always directly in the selected one.
  Made MakeFolder(const AnsiString& typed) {
    AnsiString base = SelectedPath();
    if (base.IsEmpty() || typed.IsEmpty()) return Made::Nothing;
    // Windows drops leading blanks and trailing blanks and dots from a name.
    QString name = ui::Q(typed);
    while (!name.isEmpty() && name.front() == QLatin1Char(' ')) name.remove(0, 1);
    while (!name.isEmpty() && (name.back() == QLatin1Char(' ') || name.back() == QLatin1Char('.'))) name.chop(1);
    if (name.isEmpty()) return Refuse("파일 이름을 입력해야 합니다.");
    for (QChar c : name)
      if (c.unicode() < 0x20 || QStringLiteral("\\/:*?\"<>|").contains(c))
        return Refuse("파일 이름에는 다음 문자를 사용할 수 없습니다:\n\\ / : * ? \" < > |");
    if (winplat::IsReservedDeviceName(ui::A(name).str())) return Refuse("지정한 장치 이름이 잘못되었습니다.");
    AnsiString path = IncludeTrailingBackslash(base) + ui::A(name);
    if (ui::Q(path).size() > kMaxFolderPath) return Refuse(kNameTooLong);
    if (FileExists(path) || DirectoryExists(path)) return Refuse(kNameTaken);
    if (!CreateDir(path)) {
      DWORD error = GetLastError();
      // The host's own limit on a name, or a folder made by another program meanwhile.
      if (error == ERROR_FILENAME_EXCED_RANGE) return Refuse(kNameTooLong);
      if (error == ERROR_ALREADY_EXISTS) return Refuse(kNameTaken);
      return Refuse("폴더를 만들 수 없습니다.");
    }
    if (QTreeWidgetItem* parent = tree_->currentItem()) {
      qDeleteAll(parent->takeChildren());
      parent->setData(0, Qt::UserRole + 1, false);
      Fill(parent);
    }
    SelectPath(path);
    return Made::Created;
  }
  Made Refuse(const char* utf8) {
    MessageBoxA(hwnd_, winplat::Utf8ToCp949(utf8).c_str(), ui::A(windowTitle()).c_str(), MB_OK | MB_ICONHAND);
    return Made::Refused;
  }
  LPITEMIDLIST ListOf(QTreeWidgetItem* i) const {
    QString kind = i->data(0, Qt::UserRole + 2).toString();
    if (kind == QLatin1String("C")) return MakeList('C', "");
    if (kind == QLatin1String("D")) return EmptyList();
    return MakeList('F', ui::A(i->data(0, Qt::UserRole).toString()).str());
  }
  QTreeWidgetItem* Add(QTreeWidgetItem* parent, const AnsiString& text, const AnsiString& path, const char* kind) {
    auto* i = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tree_);
    i->setText(0, ui::Q(text));
    i->setData(0, Qt::UserRole, ui::Q(path));
    i->setData(0, Qt::UserRole + 2, QString::fromLatin1(kind));
    if (*kind != 'D') i->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    return i;
  }
  void AddDrives(QTreeWidgetItem* parent) {
    DWORD mask = GetLogicalDrives();
    for (int d = 0; d < 26; ++d) {
      if (!(mask & (1u << d))) continue;
      std::string root = Format("%c:\\", 'A' + d).str();
      Add(parent, DisplayName(MakeKeep('F', root)), root, "F");
    }
  }
  LPCITEMIDLIST MakeKeep(char kind, const std::string& path) {
    keep_.emplace_back(MakeList(kind, path), std::free);
    return keep_.back().get();
  }
  void BuildRoot() {
    std::string path;
    char kind = KindOf(bi_->pidlRoot, &path);
    if (kind == 'C') {
      AddDrives(nullptr);
    } else if (kind == 'F') {
      QTreeWidgetItem* r = Add(nullptr, DisplayName(bi_->pidlRoot), path, "F");
      Fill(r);
      r->setExpanded(true);
    } else {
      QTreeWidgetItem* desk = Add(nullptr, DisplayName(nullptr), "", "D");
      QTreeWidgetItem* comp = Add(desk, DisplayName(MakeKeep('C', "")), "", "C");
      AddDrives(comp);
      desk->setExpanded(true);
      comp->setExpanded(true);
    }
  }
  void Fill(QTreeWidgetItem* item) {
    if (item->data(0, Qt::UserRole + 1).toBool()) return;
    item->setData(0, Qt::UserRole + 1, true);
    if (item->data(0, Qt::UserRole + 2).toString() != QLatin1String("F")) return;
    AnsiString dos = ui::A(item->data(0, Qt::UserRole).toString());
    std::string unix = winplat::DosToUnix(dos.str());
    std::error_code ec;
    std::vector<std::string> names;
    for (auto it = fs::directory_iterator(unix, ec); !ec && it != fs::directory_iterator(); it.increment(ec))
      if (it->is_directory(ec)) names.push_back(it->path().filename().string());
    std::sort(names.begin(), names.end());
    for (const std::string& n : names) {
      AnsiString child = IncludeTrailingBackslash(dos) + AnsiString(winplat::Utf8ToCp949(n));
      Add(item, ExtractFileName(child), child, "F");
    }
  }
  // The desktop ("D") and the drives ("C") have no path of their own.
  bool SelectKind(const char* kind) {
    for (QTreeWidgetItemIterator it(tree_); *it; ++it) {
      if ((*it)->data(0, Qt::UserRole + 2).toString() == QLatin1String(kind)) {
        tree_->setCurrentItem(*it);
        return true;
      }
    }
    return false;
  }
  QTreeWidgetItem* FindItem(const AnsiString& dosPath) {
    // Walk down from the drive, filling folders on the way.
    std::function<QTreeWidgetItem*(QTreeWidgetItem*)> search = [&](QTreeWidgetItem* i) -> QTreeWidgetItem* {
      AnsiString p = ui::A(i->data(0, Qt::UserRole).toString());
      if (!p.IsEmpty() && SameText(ExcludeTrailingBackslash(p), ExcludeTrailingBackslash(dosPath))) return i;
      bool onTheWay = p.IsEmpty() || SameText(IncludeTrailingBackslash(p),
                                              dosPath.SubString(1, IncludeTrailingBackslash(p).Length()));
      if (!onTheWay) return nullptr;
      Fill(i);
      for (int c = 0; c < i->childCount(); ++c)
        if (QTreeWidgetItem* f = search(i->child(c))) return f;
      return nullptr;
    };
    for (int t = 0; t < tree_->topLevelItemCount(); ++t)
      if (QTreeWidgetItem* f = search(tree_->topLevelItem(t))) return f;
    return nullptr;
  }
  void Selected(QTreeWidgetItem* item) {
    if (!item) return;
    LPITEMIDLIST pidl = ListOf(item);
    Callback(BFFM_SELCHANGED, LPARAM(pidl));
    std::free(pidl);
  }
  int Callback(UINT msg, LPARAM param) {
    if (!bi_->lpfn) return 0;
    int r = 0;
    ui::Safely([&] { r = bi_->lpfn(hwnd_, msg, param, bi_->lParam); });
    return r;
  }
  LRESULT Message(UINT m, WPARAM w, LPARAM l) {
    switch (m) {
      case BFFM_SETSTATUSTEXTA:
        status_->setText(ui::Q(AnsiString(l ? reinterpret_cast<const char*>(l) : "")));
        return 0;
      case BFFM_ENABLEOK:
        ok_->setEnabled(l != 0);
        return 0;
      case BFFM_SETSELECTIONA:
        if (w) return SelectPath(AnsiString(reinterpret_cast<const char*>(l))) ? 1 : 0;
        if (std::string p; KindOf(reinterpret_cast<LPCITEMIDLIST>(l), &p) == 'F') return SelectPath(AnsiString(p));
        return 0;
      case WM_SETTEXT:
        setWindowTitle(ui::Q(AnsiString(reinterpret_cast<const char*>(l))));
        return TRUE;
      default:
        return 0;
    }
  }

  LPBROWSEINFOA bi_;
  QLabel* title_ = nullptr;
  QLabel* status_ = nullptr;
  QTreeWidget* tree_ = nullptr;
  QLineEdit* edit_ = nullptr;
  QPushButton* newFolder_ = nullptr;
  QPushButton* ok_ = nullptr;
  HWND hwnd_ = nullptr;
  LPITEMIDLIST chosen_ = nullptr;
  std::vector<std::unique_ptr<ITEMIDLIST, void (*)(void*)>> keep_;
};

}  // namespace

HRESULT WINAPI SHGetMalloc(LPMALLOC* ppMalloc) {
  static Malloc allocator;
  if (!ppMalloc) return E_INVALIDARG;
  *ppMalloc = &allocator;
  return S_OK;
}

HRESULT WINAPI SHGetDesktopFolder(IShellFolder** ppshf) {
  if (!ppshf) return E_INVALIDARG;
  *ppshf = new DesktopFolder;
  return S_OK;
}

HRESULT WINAPI SHGetSpecialFolderLocation(HWND, int csidl, LPITEMIDLIST* ppidl) {
  if (!ppidl) return E_INVALIDARG;
  *ppidl = nullptr;
  if (csidl == CSIDL_DESKTOP) *ppidl = EmptyList();
  else if (csidl == CSIDL_DRIVES) *ppidl = MakeList('C', "");
  else return E_FAIL;
  return *ppidl ? S_OK : E_OUTOFMEMORY;
}

BOOL WINAPI SHGetPathFromIDListA(LPCITEMIDLIST pidl, LPSTR pszPath) {
  if (!pszPath) return FALSE;
  std::string path;
  if (KindOf(pidl, &path) != 'F') {
    *pszPath = 0;
    return FALSE;
  }
  lstrcpynA(pszPath, path.c_str(), MAX_PATH);
  return TRUE;
}

HRESULT WINAPI StrRetToBufA(STRRET* pstr, LPCITEMIDLIST pidl, LPSTR pszBuf, UINT cchBuf) {
  if (!pstr || !pszBuf || !cchBuf) return E_INVALIDARG;
  switch (pstr->uType) {
    case STRRET_CSTR: lstrcpynA(pszBuf, pstr->cStr, int(cchBuf)); return S_OK;
    case STRRET_OFFSET:
      lstrcpynA(pszBuf, reinterpret_cast<const char*>(pidl) + pstr->uOffset, int(cchBuf));
      return S_OK;
    case STRRET_WSTR:
      lstrcpynA(pszBuf, winplat::WideToCp949(pstr->pOleStr ? pstr->pOleStr : L"").c_str(), int(cchBuf));
      return S_OK;
    default: return E_FAIL;
  }
}

LPITEMIDLIST WINAPI SHBrowseForFolderA(LPBROWSEINFOA lpbi) {
  if (!lpbi) return nullptr;
  ui::EnsureQt();
  BrowseDialog dialog(lpbi);
  return dialog.Run();
}
