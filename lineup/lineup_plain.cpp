// TEMPORARY skeleton, replaced by the plain-text channel source.
#include "lineup/lineup.h"
extern "C" Channel* getChannels(void) { return nullptr; }
