// The one export of liblineup.so: the channel list, read once from the
// channel file of this build and kept for the life of the process.
#include "lineup/lineup.h"
#include "lineup/lineup_internal.h"
#include "skedra_paths.h"

namespace {

// Head of the channel list; null until a call has read at least one channel.
Channel* channelList = nullptr;

// Reads the channel file this build is made for: the firmware's binary file
// with records of LINEUP_FW_RECORD_SIZE bytes, or else the plain-text file.
Channel* readChannelFile() {
#ifdef LINEUP_FW_RECORD_SIZE
  return lineupReadFirmware<LINEUP_FW_RECORD_SIZE>(LINEUP_FW_PATH);
#else
  return lineupReadPlain(LINEUP_PLAIN_PATH);
#endif
}

}  // namespace

// Reads the file until a call finds channels; from then on returns that list
// without touching the file.
extern "C" __attribute__((visibility("default"))) Channel* getChannels(void) {
  if (channelList == nullptr) channelList = readChannelFile();
  return channelList;
}
