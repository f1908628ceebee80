// The channel file that the list screen's tests share. getChannels reads the
// build's fixed channel path once per process, so every test program of the
// list screen writes the same content there before its first lookup.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "lineup/lineup.h"
#include "skedra_paths.h"
#include "support/test_env.h"
#include "support/timer_store_test.h"

inline constexpr const char* kScreenLongChannelName =
    "The Extremely Long Channel Name That Goes On And On Beyond Every Buffer";

inline std::string screenChannelFileContent() {
  return std::string("News|5|105\n") + "Sport|9|9\n" + "Sport HD|9|109\n" +
         "Kids <Fun> & \"Co\"|12|12\n" + "Minus|-7|-7\n" + kScreenLongChannelName + "|300|301\n";
}

// Creates every missing folder of path's directory.
inline void makeParentFolders(const std::string& path) {
  for (size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    mkdir(path.substr(0, slash).c_str(), 0755);
  }
}

// Writes the shared channel file (atomically: other test programs may read it
// at the same time) and loads it into this process's channel list.
inline const Channel* useScreenChannels() {
  const std::string path = LINEUP_PLAIN_PATH;
  makeParentFolders(path);
  const std::string temporary = path + ".screen-tmp." + std::to_string(getpid());
  writeFile(temporary, screenChannelFileContent());
  std::rename(temporary.c_str(), path.c_str());
  return getChannels();
}

// A timer store test that runs in its temporary folder, where the page's
// templates are written, with the shared channel file loaded; the working
// folder and the zone come back afterwards.
class ScreenTest : public TimerStoreTest {
 protected:
  void SetUp() override {
    TimerStoreTest::SetUp();
    ASSERT_NE(useScreenChannels(), nullptr);
    char* cwd = getcwd(nullptr, 0);
    ASSERT_NE(cwd, nullptr);
    previousDir = cwd;
    std::free(cwd);
    ASSERT_EQ(chdir(dir.path().c_str()), 0);
  }
  void TearDown() override {
    ASSERT_EQ(chdir(previousDir.c_str()), 0);
    setenv("TZ", "UTC", 1);
    tzset();
    TimerStoreTest::TearDown();
  }

  std::string previousDir;
};
