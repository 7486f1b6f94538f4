// TBaseComponent: version text and the loading bracket.
#include "port/commisc.h"

namespace talyx {

namespace {

constexpr const char* LibraryVersion = "v3.06";

}  // namespace

std::string TBaseComponent::Version() const { return LibraryVersion; }

void TBaseComponent::SetVersion(const std::string& /*value*/) {}

void TBaseComponent::BeginLoading() { loading_ = true; }

void TBaseComponent::EndLoading() {
  if (!loading_) return;
  loading_ = false;
  Loaded();
}

}  // namespace talyx
