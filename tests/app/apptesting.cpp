// Helpers for the window tests.
#include "apptesting.h"

#include <gtest/gtest.h>

#include "errors/errorcodes.h"

namespace talyx::testing {

ChooserRecorder::ChooserRecorder() {
  previous_ = SetPortChooser([this] {
    ++Calls;
    return static_cast<int>(ecNoPortSelected);
  });
}

ChooserRecorder::~ChooserRecorder() { SetPortChooser(std::move(previous_)); }

}  // namespace talyx::testing
