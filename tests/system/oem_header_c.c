/* The public header is C as well: a host written in C includes it as is. */
#include "skyfw/oem.h"

int skyfw_test_c_element_size(void) { return (int)sizeof(OemAdapterInfoElement); }
