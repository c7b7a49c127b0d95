#pragma once

#include "tests/support/temp_folder.h"

namespace velkor::client::test {

using TempFolder = velkor::testing::TempFolder;

}  // namespace velkor::client::test
