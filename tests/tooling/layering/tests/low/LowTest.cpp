#include "low/Low.h"
#include "tests/support/LowHelper.h"

// Upward through a support file that needs the high library.
#include "tests/support/HighHelper.h"
