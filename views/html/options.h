// Option lists and channel labels of the form.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "lineup/lineup.h"
#include "quib/quib.h"
#include "texts/catalogue.h"

// The labels of the repeat codes 0 to 11 in the catalogue.
extern const Text web_sched_week[12];
// The form value of the external AV input ("AV"); its label is the
// catalogue's kChannelAV.
extern const char* const channelAV;

void printRepeatOptions(std::string_view path, TemplateContext* context);
void printChannelOptions(std::string_view path, TemplateContext* context);
void printChannelOption(std::string_view templateText, TemplateContext* context,
                        Element* lastElement, int32_t value, bool isSelected,
                        std::string_view label);
// "%d %s" or "%d %s (%d)"; composed without any length limit.
std::string sprintfChannelLabel(const Channel& channel);
// The same label appended to label.
void appendChannelLabel(std::string& label, const Channel& channel);
// The label that the form's list shows, the name first: "Sport (9)",
// "News (5, 105)"; appended to label.
void appendNameFirstLabel(std::string& label, const Channel& channel);
const Channel* getChannelByNo(int number);
// Whole content of a file, directives untouched; missing file: "".
std::string loadFile(const std::string& path);
// Sink that appends each piece to the std::string in the context's user data.
void loadLines(std::string_view piece, TemplateContext* context);
