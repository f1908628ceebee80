// TEMPORARY skeleton, replaced by the SHA-1 module.
#include "sha1/sha1.h"
