#pragma once

#include <string>
#include <vector>

#include "base/Exception.h"
#include "cport/ComPortTypes.h"

// The small part of a component framework the port needs: assignable objects,
// and components with an owner, a name and the loading/designing states.

// Raised when an object is assigned from one it cannot copy.
class EConvertError : public Exception {
public:
  using Exception::Exception;
};

class TPersistent : public TObject {
public:
  // The class name used in assignment errors.
  virtual const char* ClassName() const = 0;

protected:
  // "Cannot assign a TComBuffer to a TComParity" (or "a nil" for no source).
  [[noreturn]] void AssignError(const TPersistent* Source) const;
};

enum class TComponentStateFlag : unsigned { csLoading = 1, csDesigning = 2 };

class TComponent : public TPersistent {
public:
  // Registers with Owner, which then frees this component in its destructor.
  explicit TComponent(TComponent* Owner = nullptr);
  ~TComponent() override;
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;
  const char* ClassName() const override { return "TComponent"; }

  TComponent* Owner() const { return FOwner; }
  const std::string& Name() const { return FName; }
  void SetName(const std::string& Value) { FName = Value; }

  bool Loading() const { return (FState & unsigned(TComponentStateFlag::csLoading)) != 0; }
  bool Designing() const { return (FState & unsigned(TComponentStateFlag::csDesigning)) != 0; }
  // The state flags are set by whoever streams or edits the component.
  void SetLoading(bool Value);
  void SetDesigning(bool Value);

  // Called when the component has been read from a stream: clears the loading
  // state. Descendants add their own end-of-loading work.
  virtual void Loaded();

private:
  void RemoveComponent(TComponent* Component);

  TComponent* FOwner = nullptr;
  std::vector<TComponent*> FComponents;
  std::string FName;
  unsigned FState = 0;
};
