#include <algorithm>

#include "Classes.h"

TList::~TList() {
  // Only the plain list is cleared here: a derived list has cleared itself already.
  FList.clear();
}

void TList::CheckIndex(int index) const {
  if (index < 0 || index >= Count()) throw EListError(Format("List index out of bounds (%d)", index));
}

void TList::Notify(void*, TListNotification) {}

void* TList::Get(int index) const {
  CheckIndex(index);
  return FList[size_t(index)];
}

void TList::Put(int index, void* item) {
  CheckIndex(index);
  void* old = FList[size_t(index)];
  if (old == item) return;
  FList[size_t(index)] = item;
  if (old) Notify(old, lnDeleted);
  if (item) Notify(item, lnAdded);
}

void TList::SetCapacity(int newCapacity) {
  if (newCapacity < Count()) throw EListError(Format("List capacity out of bounds (%d)", newCapacity));
  FCapacity = newCapacity;
  FList.reserve(size_t(newCapacity));
}

void TList::SetCount(int newCount) {
  if (newCount < 0) throw EListError(Format("List count out of bounds (%d)", newCount));
  if (newCount > FCapacity) SetCapacity(newCount);
  if (newCount > Count())
    FList.resize(size_t(newCount), nullptr);
  else
    for (int i = Count() - 1; i >= newCount; --i) Delete(i);
}

int TList::Add(void* item) {
  Insert(Count(), item);
  return Count() - 1;
}

void TList::Insert(int index, void* item) {
  if (index < 0 || index > Count()) throw EListError(Format("List index out of bounds (%d)", index));
  if (Count() == FCapacity) FCapacity = FCapacity > 64 ? FCapacity + FCapacity / 4 : FCapacity > 8 ? FCapacity + 16 : FCapacity + 4;
  FList.insert(FList.begin() + index, item);
  if (item) Notify(item, lnAdded);
}

void TList::Delete(int index) {
  CheckIndex(index);
  void* item = FList[size_t(index)];
  FList.erase(FList.begin() + index);
  if (item) Notify(item, lnDeleted);
}

int TList::IndexOf(void* item) const {
  auto it = std::find(FList.begin(), FList.end(), item);
  return it == FList.end() ? -1 : int(it - FList.begin());
}

int TList::Remove(void* item) {
  int i = IndexOf(item);
  if (i >= 0) Delete(i);
  return i;
}

void* TList::Extract(void* item) {
  int i = IndexOf(item);
  if (i < 0) return nullptr;
  FList.erase(FList.begin() + i);
  Notify(item, lnExtracted);
  return item;
}

void TList::Clear() {
  SetCount(0);
  FCapacity = 0;
  FList.shrink_to_fit();
}

void TList::Pack() {
  FList.erase(std::remove(FList.begin(), FList.end(), nullptr), FList.end());
}

void TList::Exchange(int index1, int index2) {
  CheckIndex(index1);
  CheckIndex(index2);
  std::swap(FList[size_t(index1)], FList[size_t(index2)]);
}

void TList::Move(int curIndex, int newIndex) {
  if (curIndex == newIndex) return;
  CheckIndex(curIndex);
  CheckIndex(newIndex);
  void* item = FList[size_t(curIndex)];
  FList.erase(FList.begin() + curIndex);
  FList.insert(FList.begin() + newIndex, item);
}

void TList::Sort(int (*compare)(void* item1, void* item2)) {
  std::stable_sort(FList.begin(), FList.end(), [&](void* a, void* b) { return compare(a, b) < 0; });
}

void TList::Assign(TList* source) {
  Clear();
  if (!source) return;
  SetCapacity(source->Capacity() > source->Count() ? source->Capacity() : source->Count());
  for (void* item : source->FList) Add(item);
}
