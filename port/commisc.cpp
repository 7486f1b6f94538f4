// TBaseComponent: version text and the loading bracket.
#include "port/commisc.h"

#include "dispatch/dispatchlog.h"

namespace talyx {

std::string TBaseComponent::Version() const { return std::string(LibraryVersion); }

void TBaseComponent::SetVersion(const std::string& /*value*/) {}

void TBaseComponent::BeginLoading() { loading_ = true; }

void TBaseComponent::EndLoading() {
  if (!loading_) return;
  loading_ = false;
  Loaded();
}

}  // namespace talyx
