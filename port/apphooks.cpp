// The application's exception display and port chooser hooks.
#include "port/apphooks.h"

#include <cstdio>
#include <utility>

#include "dispatch/handlerfailure.h"
#include "errors/errorcodes.h"
#include "errors/exception.h"

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
  if (hook) {
    SetHandlerFailureHook([](std::exception_ptr failure) { ShowApplicationException(failure); });
  } else {
    SetHandlerFailureHook(nullptr);
  }
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

void ShowApplicationException(const std::exception_ptr& failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const std::exception& error) {
    ShowApplicationException(error);
  } catch (...) {
    ShowApplicationException(Exception(FailureText(failure)));
  }
}

int ChoosePort() {
  const PortChooserHook chooser = Chooser();
  return chooser ? chooser() : ecNoPortSelected;
}

}  // namespace talyx
