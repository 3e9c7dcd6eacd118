#include <algorithm>

#include "Classes.h"

void TPersistent::Assign(TPersistent* source) {
  throw EConvertError(source ? "Cannot assign object" : "Cannot assign a nil object");
}

TComponent::TComponent(TComponent* AOwner) {
  if (AOwner) AOwner->InsertComponent(this);
}

TComponent::~TComponent() {
  ComponentState |= csDestroying;
  // Tell everyone who asked to be told, then free what we own.
  std::vector<TComponent*> notifies;
  notifies.swap(FFreeNotifies);
  for (TComponent* c : notifies) {
    c->FFreeNotifies.erase(std::remove(c->FFreeNotifies.begin(), c->FFreeNotifies.end(), this),
                           c->FFreeNotifies.end());
    c->Notification(this, opRemove);
  }
  DestroyComponents();
  if (FOwner) FOwner->RemoveComponent(this);
}

void TComponent::BeforeDestruction() { ComponentState |= csDestroying; }

void TComponent::Loaded() { ComponentState &= ~unsigned(csLoading); }

TComponent* TComponent::FindComponent(const AnsiString& name) const {
  if (name.IsEmpty()) return nullptr;
  for (TComponent* c : FComponents)
    if (CompareText(c->Name, name) == 0) return c;
  return nullptr;
}

void TComponent::InsertComponent(TComponent* component) {
  if (component->FOwner) component->FOwner->RemoveComponent(component);
  component->FOwner = this;
  FComponents.push_back(component);
  Notification(component, opInsert);
}

void TComponent::RemoveComponent(TComponent* component) {
  auto it = std::find(FComponents.begin(), FComponents.end(), component);
  if (it == FComponents.end()) return;
  Notification(component, opRemove);
  FComponents.erase(std::find(FComponents.begin(), FComponents.end(), component));
  component->FOwner = nullptr;
}

void TComponent::DestroyComponents() {
  // Last created first, as the class library frees them.
  while (!FComponents.empty()) {
    TComponent* c = FComponents.back();
    FComponents.pop_back();
    c->FOwner = nullptr;
    Notification(c, opRemove);
    delete c;
  }
}

void TComponent::FreeNotification(TComponent* component) {
  if (!component || component == this) return;
  if (std::find(FFreeNotifies.begin(), FFreeNotifies.end(), component) == FFreeNotifies.end())
    FFreeNotifies.push_back(component);
  if (std::find(component->FFreeNotifies.begin(), component->FFreeNotifies.end(), this) ==
      component->FFreeNotifies.end())
    component->FFreeNotifies.push_back(this);
}

void TComponent::RemoveFreeNotification(TComponent* component) {
  if (!component) return;
  FFreeNotifies.erase(std::remove(FFreeNotifies.begin(), FFreeNotifies.end(), component), FFreeNotifies.end());
  component->FFreeNotifies.erase(
      std::remove(component->FFreeNotifies.begin(), component->FFreeNotifies.end(), this),
      component->FFreeNotifies.end());
}

void TComponent::Notification(TComponent*, TOperation) {}
