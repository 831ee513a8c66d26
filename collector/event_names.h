#pragma once
// The collector's fixed name tables: element names of the event stream,
// severity names, event classes and crash types. Each table is indexed by
// its value; CheckNameTables verifies that at start-up.
#include <string>
#include <string_view>

enum tag_type_t {
  TAG_EventList = 0, TAG_Version, TAG_Event, TAG_Node, TAG_Seq, TAG_Sev, TAG_Time, TAG_Type,
  TAG_AlertId, TAG_Class, TAG_MessageCode, TAG_PrimaryComp, TAG_Comp, TAG_CompName,
  TAG_CompType, TAG_CompId, TAG_ShortDesc, TAG_EventString, TAG_Parameter, TAG_PName,
  TAG_PValue, TAG_CatKey, TAG_InvalidTag,
};

// The tag of `name` by exact, case-sensitive comparison; TAG_InvalidTag for
// any other name.
tag_type_t tag_name_to_enum(std::string_view name);
// The name of `t`; "InvalidTag" for anything outside 0..22.
const char* tag_enum_to_name(int t);

// "Fatal", "Critical", "Major", "Minor", "Degraded", "Informational",
// "Debug" for 0..6; "Invalid Severity" otherwise.
const char* sp_sev_to_desc(int sev);

constexpr int kClassInvalid = 10;
// Class number 0..9 of an exact class name ("evt_class_alert" is 1), else 10.
int sp_class_name_to_enum(std::string_view name);
// Name of class 0..9, "evt_invalid" otherwise.
const char* sp_class_enum_to_name(int c);

constexpr int kCrashTypeInvalid = 2;
// 0 "evt_crashdump", 1 "evt_process_dead", else 2.
int sp_type_name_to_enum(std::string_view name);
const char* sp_type_enum_to_name(int t);

// Checks that row i of every fixed table holds value i. Returns "" when all
// hold, else the assertion text of the first row that does not (the caller
// logs it and stops).
std::string CheckNameTables();
