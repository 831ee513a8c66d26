// Definition tables, the fixed name tables, and the diagnostic file.
#include "event_defs.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include "event_file.h"
#include "event_names.h"
#include "temp_root.h"

namespace {

TEST(EventDefs, TablesKeepOrderLimitsAndPairing) {
  TempRoot root;
  std::string types = "<?xml?>\n<EventTypeList>\n";
  for (int i = 0; i < 1500; ++i) {
    types += "<T><EventID>evt_" + std::to_string(i) + "</EventID><EventDesc>Desc " +
             std::to_string(i) + "</EventDesc><EventKeycode>" + std::to_string(i) +
             "</EventKeycode></T>\n";
  }
  types += "</EventTypeList>\n";
  root.write("/defs/eventtypes", types);
  // A key without a value is replaced by the next key; a value without a
  // key is ignored.
  root.write("/defs/eventcomps",
             "<ComponentTypeList><C><ComponentDesc>orphan</ComponentDesc></C>"
             "<C><ComponentID>lost</ComponentID></C>"
             "<C><ComponentID>comp_hw_node</ComponentID><ComponentDesc>Node</ComponentDesc></C>"
             "</ComponentTypeList>");
  EventDefs defs;
  init_desc_strings(root.under("/defs"), defs);
  ASSERT_EQ(defs.types.entries.size(), static_cast<size_t>(kEventTypeSlots - 1));
  EXPECT_STREQ(type_to_desc(&defs.types, "evt_1022"), "Desc 1022");
  EXPECT_STREQ(type_to_desc(&defs.types, "evt_1023"), "evt_1023");
  EXPECT_STREQ(type_to_desc(&defs.codes, "evt_7"), "7");
  ASSERT_EQ(defs.comps.entries.size(), 1u);
  EXPECT_STREQ(type_to_desc(&defs.comps, "comp_hw_node"), "Node");
  EXPECT_STREQ(type_to_desc(&defs.comps, "lost"), "lost");
  EXPECT_STREQ(type_to_desc(nullptr, "x"), "x");
  EXPECT_TRUE(defs.classes.entries.empty());  // no file: every lookup answers the key

  // A file over the size limit is not loaded.
  root.write("/defs/eventclasses", "<EventClassList>" + std::string(kDescFileMax, ' ') +
                                       "<ClassID>a</ClassID><ClassDesc>b</ClassDesc></EventClassList>");
  std::string err;
  EXPECT_EQ(fillin_types_table(defs.classes, kEventClassSlots, root.under("/defs/eventclasses"),
                               "<EventClassList>", "ClassID", "ClassDesc", err), 1);
  EXPECT_TRUE(defs.classes.entries.empty());
}

TEST(EventNames, TablesAndLookups) {
  EXPECT_EQ(CheckNameTables(), "");
  EXPECT_STREQ(sp_sev_to_desc(0), "Fatal");
  EXPECT_STREQ(sp_sev_to_desc(6), "Debug");
  EXPECT_STREQ(sp_sev_to_desc(7), "Invalid Severity");
  EXPECT_STREQ(sp_sev_to_desc(-1), "Invalid Severity");
  EXPECT_EQ(sp_class_name_to_enum("evt_class_alert"), 1);
  EXPECT_EQ(sp_class_name_to_enum("Evt_class_alert"), kClassInvalid);
  EXPECT_STREQ(sp_class_enum_to_name(10), "evt_invalid");
  EXPECT_EQ(sp_type_name_to_enum("evt_process_dead"), 1);
  EXPECT_STREQ(sp_type_enum_to_name(5), "evt_invalid");
  EXPECT_EQ(tag_name_to_enum("CatKey"), TAG_CatKey);
  EXPECT_EQ(tag_name_to_enum("catkey"), TAG_InvalidTag);
  EXPECT_STREQ(tag_enum_to_name(99), "InvalidTag");
}

TEST(DiagnosticFile, NeverOverwritesAnEarlierFile) {
  TempRoot root;
  EvtmonState st;
  st.sysid = "1400123";
  // A file of an earlier worker, whose counter started at 0 too.
  root.write("/sp/prod/data/files/1400123/spdiag.0001", "earlier");
  const char block[] = "<EventList>\0tail";
  // Without the work-message service the transfer request fails: -1.
  EXPECT_EQ(processDiagFile(st, "HEADER", block, sizeof block - 1), -1);
  EXPECT_EQ(root.read("/sp/prod/data/files/1400123/spdiag.0001"), "earlier");
  EXPECT_EQ(root.read("/sp/prod/data/files/1400123/spdiag.0002"),
            std::string("HEADER\n<EventList>\0tail", 23));
  EXPECT_EQ(st.urgency, "H");
  struct stat s;
  ASSERT_EQ(stat(root.under("/sp/prod/data/files/1400123/spdiag.0002").c_str(), &s), 0);
  EXPECT_EQ(s.st_mode & 0027, 0u);  // no write for the group, nothing for others
  std::string big(20000, 'b');
  EXPECT_EQ(processDiagFile(st, "H", big.data(), static_cast<long>(big.size())), -1);
  EXPECT_EQ(root.read("/sp/prod/data/files/1400123/spdiag.0003").size(), 9999u);
}

}  // namespace
