#pragma once
// The display-output tests' names for the shared test support, plus where
// their specimens go. tests/editor and tests/interaction include this header
// too (through editor_test_support.h).

#include "tests/support/image_support.h"
#include "tests/support/x_support.h"

#include <string>

namespace output_test {

using test_support::expand;
using test_support::quantise;
using test_support::read_back;
using test_support::rgb;
using test_support::wait_until;
using test_support::write_png;
using xvfb_server = test_support::private_xvfb;

// Where specimens go: the display-output tests' build folder.
inline std::string specimen_path(const std::string& file_name)
{
    return std::string(ZE710_SPECIMEN_DIR) + "/" + file_name;
}

} // namespace output_test
