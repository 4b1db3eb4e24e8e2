#include "low/Low.h"

// An upward include: the low library must not use the high one.
#include "high/High.h"
