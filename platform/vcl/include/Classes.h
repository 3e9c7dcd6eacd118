// The class library's component model, lists, streams and lock.
#pragma once
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "SysUtils.h"

class TPersistent : public TObject {
 public:
  virtual void Assign(TPersistent* source);
};

enum TOperation { opInsert, opRemove };
enum TComponentStateFlag {
  csLoading = 0x01,
  csReading = 0x02,
  csWriting = 0x04,
  csDestroying = 0x08,
  csDesigning = 0x10,
  csAncestor = 0x20,
  csUpdating = 0x40,
};

// Ownership: an owner frees its components when it is destroyed; a component removes itself
// from its owner's list when it is destroyed first.
class TComponent : public TPersistent {
 public:
  explicit TComponent(TComponent* AOwner);
  ~TComponent() override;

  TComponent* Owner() const { return FOwner; }
  int ComponentCount() const { return int(FComponents.size()); }
  TComponent* Components(int index) const { return FComponents.at(size_t(index)); }
  TComponent* FindComponent(const AnsiString& name) const;  // by Name, ignoring case
  void InsertComponent(TComponent* component);
  void RemoveComponent(TComponent* component);
  void DestroyComponents();
  void FreeNotification(TComponent* component);
  void RemoveFreeNotification(TComponent* component);
  // Called by the layout reader when all properties are read.
  virtual void Loaded();
  virtual void BeforeDestruction();

  unsigned ComponentState = 0;  // TComponentStateFlag bits
  AnsiString Name;
  int Tag = 0;

 protected:
  virtual void Notification(TComponent* AComponent, TOperation Operation);

 private:
  TComponent* FOwner = nullptr;
  std::vector<TComponent*> FComponents;
  std::vector<TComponent*> FFreeNotifies;
};

// Deletes an object that may be owned: the owner is told through the destructor.
template <class T>
void FreeAndNil(T*& p) {
  T* q = p;
  p = nullptr;
  delete q;
}

// Re-entrant for the thread that holds it.
class TCriticalSection : public TObject {
 public:
  void Acquire() { FLock.lock(); }
  void Release() { FLock.unlock(); }
  void Enter() { Acquire(); }
  void Leave() { Release(); }

 private:
  std::recursive_mutex FLock;
};

// Events are method pointers in the class library; here they are callables that may be empty.
typedef std::function<void(TObject* Sender)> TNotifyEvent;

// ---------------------------------------------------------------- lists

enum TListNotification { lnAdded, lnExtracted, lnDeleted };

// A list of untyped pointers. It owns nothing; a derived list that owns its items frees them
// in Notify(lnDeleted) and must call Clear in its own destructor (the base destructor cannot
// reach the derived Notify). Index errors raise EListError.
class TList : public TObject {
 public:
  TList() = default;
  ~TList() override;
  int Count() const { return int(FList.size()); }
  void SetCount(int newCount);  // grows with nulls, shrinks by deleting from the end
  int Capacity() const { return FCapacity; }
  void SetCapacity(int newCapacity);
  void* Get(int index) const;
  void Put(int index, void* item);
  void* Items(int index) const { return Get(index); }
  void SetItems(int index, void* item) { Put(index, item); }
  void* operator[](int index) const { return Get(index); }
  void** List() { return FList.data(); }

  int Add(void* item);
  void Insert(int index, void* item);
  void Delete(int index);
  int Remove(void* item);   // index it had, or -1
  void* Extract(void* item);  // removed without lnDeleted; null when absent
  int IndexOf(void* item) const;
  void Clear();
  void Pack();  // removes the null items
  void Exchange(int index1, int index2);
  void Move(int curIndex, int newIndex);
  void* First() const { return Get(0); }
  void* Last() const { return Get(Count() - 1); }
  TList* Expand() { return this; }
  // compare(a, b) < 0 when a comes first.
  void Sort(int (*compare)(void* item1, void* item2));
  void Assign(TList* source);

 protected:
  virtual void Notify(void* ptr, TListNotification action);

 private:
  void CheckIndex(int index) const;
  std::vector<void*> FList;
  int FCapacity = 0;
};

enum TDuplicates { dupIgnore, dupAccept, dupError };

class TStrings : public TPersistent {
 public:
  ~TStrings() override = default;
  virtual int Count() const = 0;
  virtual AnsiString Get(int index) const = 0;
  virtual void Put(int index, const AnsiString& s);
  virtual TObject* GetObject(int index) const;
  virtual void PutObject(int index, TObject* obj);
  virtual void Clear() = 0;
  virtual void Delete(int index) = 0;
  virtual void Insert(int index, const AnsiString& s) = 0;
  virtual int Add(const AnsiString& s);
  virtual int AddObject(const AnsiString& s, TObject* obj);
  void InsertObject(int index, const AnsiString& s, TObject* obj);
  virtual int IndexOf(const AnsiString& s) const;
  int IndexOfName(const AnsiString& name) const;
  int IndexOfObject(TObject* obj) const;
  virtual void Move(int curIndex, int newIndex);
  virtual void Exchange(int index1, int index2);
  void AddStrings(TStrings* strings);
  void Assign(TPersistent* source) override;
  void BeginUpdate();
  void EndUpdate();
  bool Equals(TStrings* strings) const;

  AnsiString operator[](int index) const { return Get(index); }
  AnsiString Strings(int index) const { return Get(index); }
  void SetStrings(int index, const AnsiString& s) { Put(index, s); }
  TObject* Objects(int index) const { return GetObject(index); }
  void SetObjects(int index, TObject* obj) { PutObject(index, obj); }

  // "name=value" lines
  AnsiString Names(int index) const;
  AnsiString Values(const AnsiString& name) const;
  void SetValues(const AnsiString& name, const AnsiString& value);
  AnsiString ValueFromIndex(int index) const;

  // Lines separated by CR LF; setting splits at CR, LF or CR LF, and a zero byte ends the text.
  AnsiString GetText() const;
  void SetText(const AnsiString& text);
  AnsiString Text() const { return GetText(); }

  // Items separated by Delimiter, quoted with QuoteChar where needed; setting splits the way the
  // class library does (blanks and control characters also separate unquoted items).
  AnsiString GetDelimitedText() const;
  void SetDelimitedText(const AnsiString& text);
  AnsiString GetCommaText() const;
  void SetCommaText(const AnsiString& text);
  char Delimiter = ',';
  char QuoteChar = '"';

  void LoadFromFile(const AnsiString& fileName);
  void SaveToFile(const AnsiString& fileName) const;
  void LoadFromStream(class TStream* stream);
  void SaveToStream(class TStream* stream) const;

 protected:
  // Called after every change; TStringList fires OnChange outside BeginUpdate/EndUpdate.
  virtual void Changed() {}
  // How IndexOf and IndexOfName compare: without case unless a list says otherwise.
  virtual int CompareStrings(const AnsiString& a, const AnsiString& b) const;
  int FUpdateCount = 0;
};

class TStringList : public TStrings {
 public:
  TStringList() = default;
  ~TStringList() override;
  int Count() const override { return int(FItems.size()); }
  AnsiString Get(int index) const override;
  void Put(int index, const AnsiString& s) override;
  TObject* GetObject(int index) const override;
  void PutObject(int index, TObject* obj) override;
  void Clear() override;
  void Delete(int index) override;
  void Insert(int index, const AnsiString& s) override;
  int Add(const AnsiString& s) override;
  int AddObject(const AnsiString& s, TObject* obj) override;
  int IndexOf(const AnsiString& s) const override;
  void Move(int curIndex, int newIndex) override;
  void Exchange(int index1, int index2) override;
  // Binary search of a sorted list; false with the insertion index when absent.
  virtual bool Find(const AnsiString& s, int& index) const;
  virtual void Sort();
  void CustomSort(std::function<int(TStringList* list, int index1, int index2)> compare);

  bool GetSorted() const { return FSorted; }
  void SetSorted(bool value);
  bool GetCaseSensitive() const { return FCaseSensitive; }
  void SetCaseSensitive(bool value);
  TDuplicates Duplicates = dupIgnore;
  // When set, the list deletes the attached objects it holds (not in the class library of this
  // era, but handy for the layer; off by default).
  bool OwnsObjects = false;
  TNotifyEvent OnChange;

 protected:
  void Changed() override;
  int CompareStrings(const AnsiString& a, const AnsiString& b) const override;

 private:
  struct Item {
    AnsiString s;
    TObject* obj = nullptr;
  };
  void CheckIndex(int index) const;
  void InsertItem(int index, const AnsiString& s, TObject* obj);
  std::vector<Item> FItems;
  bool FSorted = false;
  bool FCaseSensitive = false;
};

// ---------------------------------------------------------------- streams

enum { soFromBeginning = 0, soFromCurrent = 1, soFromEnd = 2 };
enum TSeekOrigin { soBeginning = 0, soCurrent = 1, soEnd = 2 };

class TStream : public TObject {
 public:
  virtual int Read(void* buffer, int count) = 0;
  virtual int Write(const void* buffer, int count) = 0;
  virtual long long Seek(long long offset, int origin) = 0;
  void ReadBuffer(void* buffer, int count);         // EReadError when short
  void WriteBuffer(const void* buffer, int count);  // EWriteError when short
  long long CopyFrom(TStream* source, long long count);  // count 0 = whole source from its start
  long long GetPosition() { return Seek(0, soFromCurrent); }
  void SetPosition(long long pos) { Seek(pos, soFromBeginning); }
  virtual long long GetSize();
  virtual void SetSize(long long newSize);
  long long Position() { return GetPosition(); }
  long long Size() { return GetSize(); }
};

class THandleStream : public TStream {
 public:
  explicit THandleStream(int handle) : FHandle(handle) {}
  int Read(void* buffer, int count) override;
  int Write(const void* buffer, int count) override;
  long long Seek(long long offset, int origin) override;
  void SetSize(long long newSize) override;
  int Handle() const { return FHandle; }

 protected:
  int FHandle = -1;
};

// Mode: fmCreate, or fmOpenRead/fmOpenWrite/fmOpenReadWrite combined with a share mode.
// EFCreateError / EFOpenError when the file cannot be created or opened.
class TFileStream : public THandleStream {
 public:
  TFileStream(const AnsiString& fileName, unsigned mode);
  ~TFileStream() override;
  AnsiString FileName;
};

class TCustomMemoryStream : public TStream {
 public:
  int Read(void* buffer, int count) override;
  long long Seek(long long offset, int origin) override;
  void SaveToStream(TStream* stream);
  void SaveToFile(const AnsiString& fileName);
  void* Memory() const { return FMemory; }

 protected:
  void SetPointer(void* ptr, long long size) {
    FMemory = static_cast<char*>(ptr);
    FSize = size;
  }
  char* FMemory = nullptr;
  long long FSize = 0;
  long long FPosition = 0;
};

class TMemoryStream : public TCustomMemoryStream {
 public:
  ~TMemoryStream() override;
  int Write(const void* buffer, int count) override;
  void SetSize(long long newSize) override;
  void Clear();
  void LoadFromStream(TStream* stream);
  void LoadFromFile(const AnsiString& fileName);

 private:
  // Memory presented with SetPointer is written in place; growing it first copies it into
  // the stream's own buffer (the library would reallocate memory it does not own).
  void MakeOwn(long long size);
  std::vector<char> FBuffer;
};

// A read-only view of a resource of a module (FindResourceA); EResNotFound when absent.
class TResourceStream : public TCustomMemoryStream {
 public:
  TResourceStream(void* instance, const AnsiString& resName, const char* resType);
  TResourceStream(void* instance, int resId, const char* resType);
  int Write(const void* buffer, int count) override;
};
