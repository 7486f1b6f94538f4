// TBaseComponent: the base of the serial library's components (version text, loading state).
//
// Principles of operation:
// - A component's attributes are set one by one, either by code at run time or, as a block,
//   while the component is loading its stored settings. While loading, setters only store their
//   values (RaiseIfError passes every code through then), and Loaded runs once the last value
//   is in, so the component can act on the whole set (the port component opens its port there).
// - There is no form streaming in this system: whoever stands for it (the application's start,
//   a test) brackets the stores with BeginLoading and EndLoading. A designing state exists for
//   the same reason and is never set by the running application.
// - Main thread only, like every attribute of the components built on this class.
#pragma once

#include <string>

#include "errors/commerror.h"

namespace talyx {

class TBaseComponent : public LoadingState {
 public:
  TBaseComponent() = default;
  ~TBaseComponent() override = default;
  TBaseComponent(const TBaseComponent&) = delete;
  TBaseComponent& operator=(const TBaseComponent&) = delete;

  // Reads "v3.06" whatever was written; writing does nothing and nothing is stored.
  std::string Version() const;
  void SetVersion(const std::string& value);

  // LoadingState: true between BeginLoading and EndLoading.
  bool IsLoading() const override { return loading_; }
  bool IsDesigning() const { return designing_; }
  void SetDesigning(bool designing) { designing_ = designing; }

  // Starts a block of stored settings.
  void BeginLoading();
  // Ends the block: loading is over, then Loaded runs. Nothing happens without BeginLoading.
  void EndLoading();

 protected:
  // Runs once after the stored settings are in (loading already cleared).
  virtual void Loaded() {}

 private:
  bool loading_ = false;
  bool designing_ = false;
};

}  // namespace talyx
