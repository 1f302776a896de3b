// The library's exported factories are defined by the publish manager; until
// it exists the library carries the runtime only.
#include "common/Log.h"
