// The application's exception display and port chooser hooks.
#include "port/apphooks.h"

#include <cstdio>
#include <utility>

#include "errors/errorcodes.h"

namespace talyx {

namespace {

ApplicationExceptionHook& ExceptionHook() {
  static ApplicationExceptionHook hook;
  return hook;
}

PortChooserHook& Chooser() {
  static PortChooserHook chooser;
  return chooser;
}

}  // namespace

ApplicationExceptionHook SetApplicationExceptionHook(ApplicationExceptionHook hook) {
  return std::exchange(ExceptionHook(), std::move(hook));
}

PortChooserHook SetPortChooser(PortChooserHook chooser) {
  return std::exchange(Chooser(), std::move(chooser));
}

void ShowApplicationException(const std::exception& error) {
  // A copy, so that a display that installs another display while it runs is not destroyed
  // under itself.
  const ApplicationExceptionHook hook = ExceptionHook();
  if (hook) {
    hook(error);
  } else {
    std::fprintf(stderr, "%s\n", error.what());
  }
}

int ChoosePort() {
  const PortChooserHook chooser = Chooser();
  return chooser ? chooser() : ecNoPortSelected;
}

}  // namespace talyx
