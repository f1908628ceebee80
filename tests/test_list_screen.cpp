// The list screen: header, page variables, the new-timer form and the routing
// of the page's includes to the renderers.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <map>
#include <string>

#include "app/list_page.h"
#include "model/timer.h"
#include "store/padding_defaults.h"
#include "store/timer_db.h"
#include "support/firmware.h"
#include "support/screen_channels.h"
#include "support/stdout_capture.h"
#include "support/timer_store_test.h"
#include "views/html/list_screen.h"

namespace {

const std::string kHeader = std::string(kPageHeaderEnd) + "\n";

std::string var(const std::string& name) {
  return "<!--%quib var=\"" + name + "\" %-->";
}
std::string include(const std::string& path) {
  return "<!--%quib include=\"" + path + "\" %-->";
}

class ListScreenTest : public ScreenTest {
 protected:
  void SetUp() override {
    ScreenTest::SetUp();
    mkdir("templates", 0755);
    mkdir("parts", 0755);
  }

  // The page as the entry shows it: read from the store, then drawn.
  std::string show(std::string_view message, int32_t editKey, std::string_view command,
                   const std::optional<std::string>& session) {
    return captureStdout([&] {
      ListScreen screen = readListScreen();
      screen.message = message;
      screen.mode = command == "update" ? FormMode::kUpdate : FormMode::kCreate;
      screen.editKey = editKey;
      screen.sessionId = session;
      displayListScreen(std::move(screen));
    });
  }
};

const std::string kPageVariables =
    "msg=" + var("msg") + "|formTitle=" + var("formTitle") + "|buttonVar=" + var("buttonVar") +
    "|buttonVal=" + var("buttonVal") + "|selfUrl=" + var("selfUrl") +
    "|selfLink=" + var("selfLink") + "|sessionId=" + var("sessionId") + "\n";

TEST_F(ListScreenTest, CreateModePageHasHeaderFirstAndThePageVariables) {
  writeFile("skedra.shtml", kPageVariables);
  EXPECT_EQ(show("You have to select one or more timers", 0, "create", std::nullopt),
            std::string(kHeader) +
                "msg=You have to select one or more timers|formTitle=Create new timer|"
                "buttonVar=create|buttonVal=Create|selfUrl=skedra.cgi|selfLink=skedra.cgi?|"
                "sessionId=\n");
}

TEST_F(ListScreenTest, UpdateModeWithSessionPutsTheIdIntoTheSelfUrl) {
  writeFile("skedra.shtml", kPageVariables);
  EXPECT_EQ(show("", 4, "update", std::string("1a2b-3c")),
            std::string(kHeader) +
                "msg=|formTitle=Update existing timer|buttonVar=update|buttonVal=Update|"
                "selfUrl=skedra.cgi?quibsession=1a2b-3c|"
                "selfLink=skedra.cgi?quibsession=1a2b-3c&|sessionId=1a2b-3c\n");
}

TEST_F(ListScreenTest, MissingPageTemplateGivesTheHeaderOnly) {
  EXPECT_EQ(show("", 0, "create", std::nullopt), kHeader);
}

// A page that uses every route of the command processor.
void writeRoutedPage() {
  writeFile("schedrows.inc.shtml", "row " + var("id") + " " + var("showtitle") + ";");
  writeFile("templates/chopts.inc.shtml", "[" + var("channel") + var("selected") + "]");
  writeFile("parts/repopts.inc.shtml", "(" + var("repeat") + var("selected") + ")");
  writeFile("cancelupd.inc.shtml", "<a href=\"" + var("selfUrl") + "\">Cancel</a>\n");
  writeFile("parts/footer.inc.shtml",
            "footer " + var("msg") + " " + include("parts/repopts.inc.shtml") + "\n");
  writeFile("skedra.shtml", "<table>" + include("schedrows.inc.shtml") + "</table>\n" +
                                "title=" + var("tfTitle") + " key=" + var("key") + "\n" +
                                "<select>" + include("templates/chopts.inc.shtml") + "</select>" +
                                var("channel") + var("chaname") + "\n" + "<select>" +
                                include("parts/repopts.inc.shtml") + "</select>" + var("repeat") +
                                var("repname") + "\n" + "cancel:" + include("cancelupd.inc.shtml") +
                                include("parts/footer.inc.shtml"));
}

const std::string kAllChannelsUnmarked = "[AV][5][9][9][12][AV][300]";

TEST_F(ListScreenTest, CreateModeRoutesIncludesByBaseNameAndHidesCancel) {
  FirmwareTimer timer;
  timer.title = "Film <1>";
  const int64_t id = firmwareInsert(dbPath, timer);
  writeRoutedPage();
  const std::string page = show("hi", 0, "create", std::nullopt);
  const std::string repeats = "(0)(1)(2)(3)(4)(5)(6)(7)(8)(9)(10)(11)";
  EXPECT_EQ(page, std::string(kHeader) + "<table>row " + std::to_string(id) +
                      " Film &lt;1&gt;;</table>\n" + "title=Web Timer key=0\n" + "<select>" +
                      kAllChannelsUnmarked + "</select>\n" + "<select>" + repeats + "</select>\n" +
                      "cancel:" + "footer hi " + repeats + "\n");
}

TEST_F(ListScreenTest, UpdateModeShowsCancelAndMarksTheEditedTimersOptions) {
  FirmwareTimer timer;
  timer.channel = 12;
  timer.repeat = 2;
  timer.title = "Edited";
  const int64_t id = firmwareInsert(dbPath, timer);
  writeRoutedPage();
  const std::string page = show("", static_cast<int32_t>(id), "update", std::string("s1"));
  EXPECT_NE(page.find("title=Edited key=" + std::to_string(id) + "\n"), std::string::npos) << page;
  EXPECT_NE(page.find("<select>[AV][5][9][9][12 selected=\"selected\"][AV][300]</select>\n"),
            std::string::npos)
      << page;
  EXPECT_NE(page.find("(1)(2 selected=\"selected\")(3)"), std::string::npos) << page;
  EXPECT_NE(page.find("cancel:<a href=\"skedra.cgi?quibsession=s1\">Cancel</a>\nfooter "),
            std::string::npos)
      << page;
}

TEST_F(ListScreenTest, PrePopulatedFormStartsFiveMinutesFromNowWithTheDefaults) {
  setenv("TZ", "UTC-3", 1);  // three hours east of UTC, no daylight saving
  tzset();
  savePaddingDefaults(330, 659);
  forgetSettings();  // as a new request: the defaults come from the database
  TimerForm form;
  form.lock = 7;
  std::tm before{}, after{};
  do {
    const std::time_t start = std::time(nullptr) + 300;
    localtime_r(&start, &before);
    prePopulateTimerForm(form, readListScreen().defaults);
    const std::time_t end = std::time(nullptr) + 300;
    localtime_r(&end, &after);
  } while (before.tm_min != after.tm_min);
  EXPECT_EQ(form.id, 0);
  EXPECT_EQ(form.channel, 0);
  EXPECT_EQ(form.title, "Web Timer");
  EXPECT_EQ(form.day, before.tm_mday);
  EXPECT_EQ(form.month, before.tm_mon + 1);
  EXPECT_EQ(form.year, before.tm_year + 1900);
  EXPECT_EQ(form.hh, before.tm_hour);
  EXPECT_EQ(form.mm, before.tm_min);
  EXPECT_EQ(form.hours, 0);
  EXPECT_EQ(form.mins, 30);
  EXPECT_EQ(form.prepad, 5);    // 330 s
  EXPECT_EQ(form.postpad, 10);  // 659 s: whole minutes only
  EXPECT_EQ(form.repeat, 0);
  EXPECT_EQ(form.quality, 1);
  EXPECT_EQ(form.target, 0);
  EXPECT_EQ(form.enable, 0);
  EXPECT_EQ(form.lock, 7);  // not part of a new timer's form
}

// SQLite's default file system, counting how often a file goes from no lock
// to a shared one: each time, the firmware meets a new hold of the database.
// The files are the default system's own, with locking methods that count.
struct LockCountingVfs {
  static inline sqlite3_vfs vfs{};
  static inline sqlite3_io_methods methods{};
  static inline const sqlite3_io_methods* baseMethods = nullptr;
  static inline std::map<sqlite3_file*, int> levels;
  static inline int holds = 0;

  static int open(sqlite3_vfs*, const char* name, sqlite3_file* file, int flags, int* outFlags) {
    sqlite3_vfs* base = sqlite3_vfs_find(nullptr);
    const int rc = base->xOpen(base, name, file, flags, outFlags);
    if (rc != SQLITE_OK || file->pMethods == nullptr) return rc;
    baseMethods = file->pMethods;
    methods = *baseMethods;
    methods.iVersion = 1;  // a rollback journal, no shared memory
    methods.xLock = [](sqlite3_file* f, int level) {
      const int result = baseMethods->xLock(f, level);
      if (result == SQLITE_OK && levels[f] == SQLITE_LOCK_NONE) ++holds;
      if (result == SQLITE_OK) levels[f] = level;
      return result;
    };
    methods.xUnlock = [](sqlite3_file* f, int level) {
      levels[f] = level;
      return baseMethods->xUnlock(f, level);
    };
    levels[file] = SQLITE_LOCK_NONE;
    file->pMethods = &methods;
    return rc;
  }

  static const char* name() {
    if (vfs.zName == nullptr) {
      vfs = *sqlite3_vfs_find(nullptr);
      vfs.zName = "lock-counting";
      vfs.xOpen = open;
      sqlite3_vfs_register(&vfs, 0);
    }
    return vfs.zName;
  }
};

// The defaults of the new-timer form and every row are read under one shared
// lock of the timer database, which is free again before the page is drawn.
TEST_F(ListScreenTest, PageReadsTheTimerDatabaseUnderOneLock) {
  savePaddingDefaults(120, 300);
  const int64_t id = firmwareInsert(dbPath, FirmwareTimer{});
  writeRoutedPage();
  for (const char* command : {"create", "update"}) {
    SCOPED_TRACE(command);
    closeTimerDb();
    forgetSettings();
    ASSERT_EQ(sqlite3_open_v2(dbPath.c_str(), &web_sched_db, SQLITE_OPEN_READWRITE,
                              LockCountingVfs::name()),
              SQLITE_OK);
    LockCountingVfs::holds = 0;
    const std::string page = show("", static_cast<int32_t>(id), command, std::nullopt);
    EXPECT_NE(page.find("row " + std::to_string(id) + " "), std::string::npos) << page;
    EXPECT_EQ(LockCountingVfs::holds, 1);
    EXPECT_NE(sqlite3_get_autocommit(web_sched_db), 0);
  }
}

TEST_F(ListScreenTest, CancelSinkWritesOnlyWhileEditing) {
  ScreenState state;
  TemplateContext context;
  context.userData = &state;
  state.command = "create";
  EXPECT_EQ(captureStdout([&] { printCancelUpdate("cancel\n", &context); }), "");
  state.command = "update";
  EXPECT_EQ(captureStdout([&] { printCancelUpdate("cancel %d\n", &context); }), "cancel %d\n");
}

}  // namespace
