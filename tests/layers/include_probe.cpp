// Compiled against one layer's target with TIDWEN_PROBE naming a header:
// it builds only where that target may see the header.
#include TIDWEN_PROBE
