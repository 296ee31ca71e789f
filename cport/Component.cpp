#include "cport/Component.h"

#include <algorithm>

void TPersistent::AssignError(const TPersistent* Source) const {
  const std::string SourceName = Source ? Source->ClassName() : "nil";
  throw EConvertError("Cannot assign a " + SourceName + " to a " + ClassName());
}

TComponent::TComponent(TComponent* Owner) : FOwner(Owner) {
  if (FOwner)
    FOwner->FComponents.push_back(this);
}

TComponent::~TComponent() {
  // Owned components go first, newest first; each unregisters itself.
  while (!FComponents.empty())
    delete FComponents.back();
  if (FOwner)
    FOwner->RemoveComponent(this);
}

void TComponent::RemoveComponent(TComponent* Component) {
  FComponents.erase(std::remove(FComponents.begin(), FComponents.end(), Component),
                    FComponents.end());
}

void TComponent::SetLoading(bool Value) {
  if (Value)
    FState |= unsigned(TComponentStateFlag::csLoading);
  else
    FState &= ~unsigned(TComponentStateFlag::csLoading);
}

void TComponent::SetDesigning(bool Value) {
  if (Value)
    FState |= unsigned(TComponentStateFlag::csDesigning);
  else
    FState &= ~unsigned(TComponentStateFlag::csDesigning);
}

void TComponent::Loaded() {
  SetLoading(false);
}
