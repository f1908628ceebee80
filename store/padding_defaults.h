// The padding defaults: the settings rows and the triggers that apply them to every timer row.
#pragma once

#include <cstdint>

struct PaddingSettings {
  int32_t prepad = 0;   // seconds
  int32_t postpad = 0;  // seconds
  // The settings table holds default rows.
  bool stored = false;
  // The three padding triggers are installed on the timer table.
  bool triggers = false;
};
extern PaddingSettings webschedSettings;
extern PaddingSettings* webschedSettingsPtr;

// The padding defaults of this process and whether their triggers are
// installed, loaded on first use.
const PaddingSettings& getSettings();
// What the interface adds to the source of every row it writes (create,
// update, clone): 100 exactly when the three padding triggers are installed,
// which take it off again and keep the row's times as written; else 0, as
// nothing would take it off.
int32_t sourceMarker();
// Default rows are stored but their triggers are not installed (a rebuilt
// table, a restored backup): the defaults must be saved again.
bool defaultsNeedSaving();
// Stores both defaults and re-creates the three triggers, in one transaction.
void savePaddingDefaults(int32_t prepad, int32_t postpad);
// Expands a statement template with one integer and runs it with execSQL.
void execSQLbyTmpl(const char* statementTemplate, int32_t value);
