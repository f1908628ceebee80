// The interface's other resources: the channels, the overlaps and the
// default margins.
#include <string>

#include "app/api_call.h"
#include "lineup/lineup.h"
#include "model/entry_checks.h"
#include "store/padding_defaults.h"
#include "store/timer_db.h"
#include "views/json/timer_json.h"

namespace {

void writeDefaultsAnswer(int32_t before, int32_t after) {
  std::string body;
  JsonWriter json(body);
  json.beginObject();
  json.key("margin_before_minutes");
  json.number(before);
  json.key("margin_after_minutes");
  json.number(after);
  json.endObject();
  answerJson("200 OK", body);
}

}  // namespace

void listChannels(ApiCall&) {
  std::string body;
  JsonWriter json(body);
  json.beginObject();
  json.key("items");
  json.beginArray();
  const auto item = [&json](int32_t number, std::string_view name) {
    json.beginObject();
    json.key("channel");
    json.number(number);
    json.key("name");
    json.string(name);
    json.endObject();
  };
  item(0, channelName(0));
  for (const Channel* channel = getChannels(); channel != nullptr; channel = channel->next) {
    item(channel->number, channel->name ? channel->name : "");
  }
  json.endArray();
  json.endObject();
  answerJson("200 OK", body);
}

void readDefaults(ApiCall&) {
  const PaddingSettings& settings = getSettings();
  writeDefaultsAnswer(settings.prepad / 60, settings.postpad / 60);
}

// The same bounds, triggers and marker rule as the page's "save defaults".
void writeDefaults(ApiCall& call) {
  checkFields(call.body, {"margin_before_minutes", "margin_after_minutes"});
  const PaddingSettings& settings = getSettings();
  const int32_t before = integerField(call.body, "margin_before_minutes", INT32_MIN, INT32_MAX)
                             .value_or(settings.prepad / 60);
  const int32_t after = integerField(call.body, "margin_after_minutes", INT32_MIN, INT32_MAX)
                            .value_or(settings.postpad / 60);
  if (std::optional<EntryRefusal> refusal = marginRefusal(before, after)) {
    badValue(marginRefusal(before, 0) ? "margin_before_minutes" : "margin_after_minutes",
             std::string(refusalDetail(*refusal)));
  }
  savePaddingDefaults(before * 60, after * 60);
  writeDefaultsAnswer(before, after);
}
