// The event analysis in the running qdAnalyze: event files below the test's
// root, catalogued and requested by object id; outcomes read from the
// history table, the file catalogue, the "PNR" requests waiting for QDNOT
// (decoded with qdwm show), the platform log and the alerts.
#include <dirent.h>
#include <signal.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "analyzer_run.h"
#include "event_corpus.h"
#include "work_messages.h"

namespace {

using Fields = ExpectedSection;

// "\xHH" escapes of qdwm show back into bytes.
std::string Unescape(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x') {
      out += static_cast<char>(std::strtol(text.substr(i + 2, 2).c_str(), nullptr, 16));
      i += 3;
    } else {
      out += text[i];
    }
  }
  return out;
}

// `text` with `from` replaced by `to` (which must be there).
std::string Replace(std::string text, const std::string& from, const std::string& to) {
  size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

// The notification text the analysis sends for an event file: the summary,
// a newline and what follows the event, trailing blanks removed.
std::string NotifyTextOf(const std::string& file) {
  size_t begin = file.find_first_not_of(" \t\n");
  size_t end = file.find_last_not_of(" \t\n");
  std::string text = file.substr(begin, end - begin + 1);
  size_t marker = text.find("\nXML FORMAT:\n");
  size_t close = text.find("</Event>", marker) + 8;
  std::string all = text.substr(0, marker) + "\n" + text.substr(close);
  return all.substr(0, all.find_last_not_of(" \t\n") + 1);
}

class EventRun : public AnalyzerRun {
 protected:
  // Writes `text` as event file `name` and sends the request for it
  // (Request). Returns the request's message id.
  std::string Analyze(const std::string& name, const std::string& text, const std::string& seq,
                      const std::vector<std::string>& extra = {}, std::string* objid = nullptr) {
    root_.write(kEventDir + name, text);
    return Request(name, seq, extra, objid);
  }

  // Catalogues event file `name` under sequence `seq` and sends the
  // request naming it by object id (with `extra` settings). Returns the
  // request's message id; the object id goes to *objid.
  std::string Request(const std::string& name, const std::string& seq,
                      const std::vector<std::string>& extra = {}, std::string* objid = nullptr) {
    std::string id = CatalogueEvent(name, seq);
    if (objid) *objid = id;
    return RequestEvent(id, extra);
  }

  // The history row of sequence `seq`, column -> value; empty when none.
  Fields History(const std::string& seq) const { return HistoryRow(seq); }

  // anal_symptom of the catalogue row, "(none)" when it was not analyzed.
  std::string CatalogueSymptom(const std::string& objid) const {
    std::vector<std::string> rows =
        db_.query("select coalesce(anal_symptom, '(none)') || case when anal_date is null "
                  "then ' (no date)' else '' end from qd_fdb_cat where objid = '" + objid + "'");
    return rows.size() == 1 ? rows[0] : "(no row)";
  }

  std::string Qdwm(const std::vector<std::string>& args) { return RunTool("bin/qdwm", args); }

  // The "PNR" requests waiting for QDNOT, by the sequence their source
  // names; each the record's fields as qdwm show decodes them.
  std::map<std::string, Fields> Requests() {
    std::map<std::string, Fields> out;
    std::string list = Qdwm({"list", "QDNOT"});
    std::regex id_line("\n([0-9A-F]{8}) QDNOT ");
    for (std::sregex_iterator m(list.begin(), list.end(), id_line), end; m != end; ++m) {
      Fields record;
      std::string show = Qdwm({"show", (*m)[1]});
      std::regex field("\n  ([A-Za-z0-9_.]+): ([^\n]*)");
      for (std::sregex_iterator f(show.begin(), show.end(), field); f != end; ++f) {
        record[(*f)[1]] = Unescape((*f)[2]);
      }
      std::smatch seq;
      std::regex_search(record["source"], seq, std::regex(" file, seq ([^,]*),"));
      out[seq[1]] = record;
    }
    return out;
  }

  std::string Rows(const std::string& sql) const {
    std::string out;
    for (const std::string& row : db_.query(sql)) out += row + "\n";
    return out;
  }

  void Stop() {
    daemon_.Signal(SIGTERM);
    EXPECT_EQ(ExitCode(Exit()), 100);
  }

  // A corpus file by event name.
  static std::string CorpusFile(const std::string& name) {
    std::vector<CorpusEvent> events;
    std::string error;
    EXPECT_TRUE(LoadCorpus(&events, &error)) << error;
    for (const CorpusEvent& ev : events) {
      if (ev.name == name) return ev.text;
    }
    ADD_FAILURE() << "no corpus file " << name;
    return "";
  }
};

TEST_F(EventRun, EveryCorpusFileGivesWhatExpectedSays) {
  std::vector<CorpusEvent> events;
  std::string error;
  ASSERT_TRUE(LoadCorpus(&events, &error)) << error;
  ASSERT_FALSE(events.empty());
  StartReady({"-t", "60"});
  std::map<std::string, std::string> msgids, objids;
  for (size_t i = 0; i < events.size(); ++i) {
    std::string seq = "c" + std::to_string(i + 1);
    msgids[seq] = Analyze(events[i].name, events[i].text, seq, {}, &objids[seq]);
  }
  for (const auto& sent : msgids) ASSERT_TRUE(Ended(sent.second, "Deleted")) << Log();
  std::map<std::string, Fields> requests = Requests();

  for (size_t i = 0; i < events.size(); ++i) {
    const CorpusEvent& ev = events[i];
    std::map<std::string, std::string> want = ev.expected;
    std::string seq = "c" + std::to_string(i + 1);
    SCOPED_TRACE(ev.name);
    std::string event_time = want["event_time"];
    bool alert = want["alert"].rfind("customer alert", 0) == 0;

    Fields history = History(seq);
    ASSERT_EQ(history.empty(), want["history"] == "no");
    if (!history.empty()) {
      EXPECT_EQ(history["event_type"], ev.name);
      EXPECT_EQ(history["severity"], want["severity"]);
      EXPECT_EQ(history["event_date"], event_time.substr(0, 19));
    }
    if (!history.empty()) {
      EXPECT_EQ(history["component"], want["history.component"]);
      EXPECT_EQ(history["component_loc"], want["history.location"]);
      EXPECT_EQ(history["symptom_keyword"], want["history.keyword"]);
      EXPECT_EQ(history["symptom_detail"], want["history.detail"]);
      EXPECT_EQ(history["urgency"], want["urgency"].substr(0, 1));
      EXPECT_EQ(history["template_used"], want["template"]);
    }

    bool notified = requests.count(seq) == 1;
    ASSERT_EQ(notified, want["notify"].rfind("yes", 0) == 0);
    if (notified) {
      Fields& pnr = requests[seq];
      EXPECT_EQ(pnr["TxnId"], "PNR");
      EXPECT_EQ(pnr["TxnAttr3"], alert ? "0x01" : "0x00");
      EXPECT_EQ(pnr["prod.id"], "1400123");
      EXPECT_EQ(pnr["sp.id"], "SP0042");
      EXPECT_EQ(pnr["notclass"], "0");
      EXPECT_EQ(pnr["event"], "Zarvek VELMAR " + want["summary.tType"]);
      EXPECT_EQ(pnr["source"], "Zarvek VELMAR 1400123 EVENT file, seq " + seq +
                                   ", dated 2005/04/15 10:00:00");
      EXPECT_EQ(pnr["EventTimeFirst"], event_time);
      EXPECT_EQ(pnr["EventTimeLast"], event_time);
      EXPECT_EQ(pnr["EventLocation"], "R");
      EXPECT_EQ(pnr["counter"], "1");
      EXPECT_EQ(pnr["model"], "S400");
      // A handler's released report adds its pointer line to the text.
      std::string text = pnr["text"];
      const std::string pointer = "\nExtended analysis output is available in Obrin.\n";
      size_t at = text.find(pointer);
      if (at != std::string::npos && !root_.read(kEventDir + ev.name + ".analysis").empty()) {
        text.erase(at, pointer.size());
      }
      EXPECT_EQ(text, NotifyTextOf(ev.text));
      EXPECT_EQ(pnr["urgency"], want["urgency"].substr(0, 1));
      EXPECT_EQ(pnr["abstract"], want["abstract"]);
      EXPECT_EQ(pnr["NotifyUnique"], want["history.repeat_key"]);
    } else if (want["history"] == "yes") {
      EXPECT_EQ(Count("QDA0043 A Message " + msgids[seq]), 1) << Log();
    }

    std::string symptom = want.count("catalog_symptom") ? want["catalog_symptom"] : want["symptom"];
    EXPECT_EQ(CatalogueSymptom(objids[seq]), symptom);
    // Off the service processor (as here) the handlers that run extended
    // analysis write their report.
    EXPECT_EQ(root_.read(kEventDir + ev.name + ".analysis").empty(),
              want["report.off_sp"].rfind("none", 0) == 0)
        << want["report.off_sp"];
  }
  // The notifier is not running: the service keeps every request for it,
  // and that counts as sent.
  EXPECT_EQ(Count("QDA0011 A PNR Notification msg ["), static_cast<int>(requests.size()));
  EXPECT_EQ(Count("queued by this"), static_cast<int>(requests.size()));
  EXPECT_EQ(Count("QDA0010"), 0);
  EXPECT_EQ(Rows("select distinct status from qd_txn_log"), "Done\n");
  // Every element the corpus holds is in the installed tag table.
  EXPECT_EQ(Alerts().find("EVENT parse error"), std::string::npos) << Alerts();
  Stop();
}


TEST_F(EventRun, AlertsAndTheUrgencyRules) {
  const std::string task = CorpusFile("evt_task_fail");  // major, nonalert_low 'Y'
  auto release = [&](const std::string& level) {
    return Replace(task, "<ReleaseLevel>2.3.1.45<", "<ReleaseLevel>" + level + "<");
  };
  StartReady({"-t", "60"});
  // nonalert_low lowers a non-alert from four-part release 2.2.2 on only.
  std::vector<std::string> ids = {
      Analyze("r1", release("2.2.2.0"), "r1", {"TxnAttr3=5"}),
      Analyze("r2", release("2.2.2"), "r2"),
      Analyze("r3", release("2.2.1.99"), "r3"),
      Analyze("r4", release("10.0.0.1"), "r4"),
      // An alert or a service alert keeps its urgency whatever the row says.
      Analyze("r5", Replace(release("2.2.2.0"), "<Type>", "<AlertId>5</AlertId><Type>"), "r5",
              {"TxnAttr1=128", "TxnAttr3=164"}),
      Analyze("r6", Replace(release("2.2.2.0"), "<Type>", "<Class>evt_class_svcalert</Class><Type>"),
              "r6"),
      // A severity qd_edit does not know: "Sev" and the array's number,
      // high urgency, and a notification.
      Analyze("s1", Replace(CorpusFile("evt_bios_eepr"), "Severity: Minor", "Severity: Bogus"), "s1"),
  };
  for (const std::string& id : ids) ASSERT_TRUE(Ended(id, "Deleted")) << Log();
  std::map<std::string, Fields> pnr = Requests();
  ASSERT_EQ(pnr.size(), ids.size());

  EXPECT_EQ(pnr["r1"]["urgency"], "L");
  EXPECT_EQ(pnr["r1"]["TxnAttr3"], "0x05");  // the request's bits, no alert bit
  EXPECT_EQ(Count("QDA9999 0 Urgency set Low by nonalert_low for vqx 2.2.2.0 event evt_task_fail"),
            1) << Log();
  EXPECT_EQ(pnr["r2"]["urgency"], "H");
  EXPECT_EQ(pnr["r3"]["urgency"], "H");
  EXPECT_EQ(pnr["r4"]["urgency"], "L");
  EXPECT_EQ(pnr["r5"]["urgency"], "H");
  EXPECT_EQ(pnr["r5"]["TxnAttr1"], "0x80");
  EXPECT_EQ(pnr["r5"]["TxnAttr3"], "0xA5");  // the alert bit beside the request's own
  EXPECT_EQ(pnr["r6"]["urgency"], "H");
  EXPECT_EQ(pnr["r6"]["TxnAttr3"], "0x00");  // a service alert is no customer alert
  EXPECT_EQ(Count("Urgency set Low by nonalert_low"), 2);
  EXPECT_EQ(History("r1")["urgency"], "L");
  EXPECT_EQ(History("r5")["urgency"], "H");

  EXPECT_EQ(pnr["s1"]["urgency"], "H");
  EXPECT_EQ(pnr["s1"]["abstract"],
            "(Sev 3)NODE1|eeprom bios_eeprom BIOS EEPROM checksum error(evt_bios_eepr)");
  EXPECT_EQ(History("s1")["severity"], "Sev 3");
  EXPECT_NE(Alerts().find("\"urgency\":\"L\",\"abstract\":\"1400123 severity 'Bogus' not found\","
                          "\"text\":\"Source file: /sp/prod/data/files/1400123/event/s1\""),
            std::string::npos) << Alerts();
  Stop();
}

TEST_F(EventRun, EventTimesTextsAndHandlerChoice) {
  ASSERT_EQ(db_.exec("update qd_anal_evtdata set handlername = 'noanalysis' "
                     "where eventname = 'evt_notify'; "
                     "update qd_anal_evtdata set handlername = 'nosuch' "
                     "where eventname = 'evt_bios_eepr'; "
                     "insert into qd_anal_evtdata (file_type, eventname, handlername, template0) "
                     "values (100, 'evt_vread', 'generic', 'N%TNode. v_read %V0.(x)')"), "");
  const std::string core = CorpusFile("evt_fw_coredump");
  // Without the summary's time line the element's seconds count; without
  // either, a fixed time.
  std::string untimed = Replace(core, "Event time:", "Event hour:");
  std::string zero = Replace(untimed, "<Time>1113561450<", "<Time>0<");
  std::string timeless = Replace(untimed, "<Time>1113561450</Time>", "");
  std::string longer = core + std::string(5000, 'x') + "\n";
  std::string skip, unlisted_objid;
  StartReady({"-t", "60"});
  std::vector<std::string> ids = {
      Analyze("t1", zero, "t1"),
      Analyze("t2", timeless, "t2"),
      Analyze("t3", longer, "t3"),
      Analyze("h1", CorpusFile("evt_notify"), "h1", {}, &skip),
      Analyze("h2", Replace(CorpusFile("evt_process_dead"), "<Type>evt_process_dead<",
                            "<Type>evt_unlisted<"), "h2", {}, &unlisted_objid),
      Analyze("h3", CorpusFile("evt_bios_eepr"), "h3"),
      // The pattern of one event fills V0; the next reads it unfilled.
      Analyze("v1", CorpusFile("evt_coredump"), "v1"),
      Analyze("v2", Replace(core, "<Type>evt_fw_coredump<", "<Type>evt_vread<"), "v2"),
  };
  for (const std::string& id : ids) ASSERT_TRUE(Ended(id, "Deleted")) << Log();
  std::map<std::string, Fields> pnr = Requests();

  EXPECT_EQ(pnr["t1"]["EventTimeFirst"], "1970/01/01 00:00:00.UT");
  EXPECT_EQ(pnr["t1"]["EventTimeLast"], "1970/01/01 00:00:00.UT");
  EXPECT_EQ(History("t1")["event_date"], "1970/01/01 00:00:00");
  EXPECT_EQ(pnr["t2"]["EventTimeFirst"], "1999/12/31 23:59:59.00");

  // The notification text holds the summary and what follows the event,
  // cut to 4000 characters with a note where the rest is.
  const std::string note = "\nTRUNCATED - see Obrin for full details.";
  const std::string& text = pnr["t3"]["text"];
  EXPECT_EQ(text.size(), 4000u);
  ASSERT_GT(text.size(), note.size());
  EXPECT_EQ(text.substr(text.size() - note.size()), note);
  EXPECT_EQ(text.substr(0, 4000 - note.size()), NotifyTextOf(longer).substr(0, 4000 - note.size()));
  EXPECT_EQ(pnr["t1"]["text"], NotifyTextOf(zero));  // short texts whole

  // "noanalysis": neither history nor request, but the catalogue says why.
  EXPECT_TRUE(History("h1").empty());
  EXPECT_EQ(pnr.count("h1"), 0u);
  EXPECT_EQ(CatalogueSymptom(skip), "Skip analysis for evt_notify");

  // A type without a row: history by the defaults of an analysis without
  // a pattern, and a request; nothing is missing, so nothing is notified.
  Fields unlisted = History("h2");
  EXPECT_EQ(unlisted["event_type"], "evt_unlisted");
  EXPECT_EQ(unlisted["symptom_keyword"], "none");
  EXPECT_EQ(unlisted["template_used"], "0");
  EXPECT_EQ(pnr["h2"]["abstract"], "(critical)Process died(Process died)");
  EXPECT_EQ(pnr["h2"]["NotifyUnique"], "evt_unlisted");
  EXPECT_EQ(CatalogueSymptom(unlisted_objid), "Process died(Process died)");
  // A name the handler table lacks is notified; the analysis goes on with
  // the default symptom.
  EXPECT_EQ(pnr["h3"]["abstract"], "(minor)BIOS EEPROM checksum error(BIOS EEPROM event)");
  EXPECT_EQ(History("h3")["symptom_keyword"], "none");
  EXPECT_EQ(pnr["v2"]["abstract"], "(major)N1 v_read <no value>(x)");
  std::string alerts = Alerts();
  EXPECT_NE(alerts.find("\"abstract\":\"Event handler 'nosuch' not found\",\"text\":\"Source file: "
                        "/sp/prod/data/files/1400123/event/h3\""), std::string::npos) << alerts;
  EXPECT_EQ(alerts.find("Event handler '"), alerts.rfind("Event handler '"));  // h3 only
  Stop();
}

TEST_F(EventRun, FailuresBeforeTheHandlerRetryOrRefuse) {
  ASSERT_EQ(db_.exec("delete from qd_tag_data where file_type = 100 and tagname = 'StCompState'"), "");
  const std::string core = CorpusFile("evt_fw_coredump");
  StartReady({"-t", "60"});
  // A well-known tag missing from the table: nothing can be analyzed, and
  // the next event tries the table again.
  std::string untagged = Analyze("f1", core, "f1");
  ASSERT_TRUE(LogShows("Retry queued for message " + untagged)) << Log();
  EXPECT_EQ(Count("QDA0038 A Tag 'StCompState' is not in the tag table of file type 100"), 1);
  EXPECT_NE(Alerts().find("\"abstract\":\"TAG initialization error\",\"text\":\"For VELMAR EVENT, "
                          "file_type = 100. See platform log.\""), std::string::npos) << Alerts();
  ASSERT_EQ(db_.exec("insert into qd_tag_data (file_type, tagname, separator, flag_nodata, "
                     "flag_repdata, flag_catdata, flag_redirect, flag_makehex, flag_droptag) "
                     "values (100, 'StCompState', ',', 'N', 'N', 'Y', 'N', 'N', 'N')"), "");
  std::string tagged = Analyze("f2", Replace(core, "<Type>", "<Bogus>1</Bogus><Type>"), "f2");
  ASSERT_TRUE(Ended(tagged, "Deleted")) << Log();
  // An element the table does not know marks the event; it is analyzed.
  EXPECT_EQ(Count("QDA0040 A Message " + tagged + ": Encountered unknown XML tag 'Bogus'"), 1);
  EXPECT_NE(Alerts().find("\"abstract\":\"1400123 EVENT parse error\""), std::string::npos);
  EXPECT_EQ(History("f2")["symptom_keyword"], "fw_core_dump");

  // A file that cannot be read is retried; one without XML refused.
  std::string missing = Request("f3", "f3");
  ASSERT_TRUE(LogShows("Retry queued for message " + missing)) << Log();
  EXPECT_EQ(Count("QDA0031 2 Message " + missing + ": event file cannot be read: "), 1) << Log();
  std::string plain = Analyze("f4", "Event id: 1\nno event here\n", "f4");
  ASSERT_TRUE(Ended(plain, "Rejected")) << Log();
  EXPECT_EQ(Count("QDA0040 2 Message " + plain + ": Unable to find XML at all"), 1);
  EXPECT_TRUE(History("f4").empty());
  Stop();
}

TEST_F(EventRun, NotifierUnknownToTheServiceLeavesTheAnalysisDone) {
  ASSERT_EQ(db_.exec("delete from wm.process where name = 'QDNOT'"), "");
  StartReady({"-t", "60"});
  std::string id = Analyze("n1", CorpusFile("evt_fw_coredump"), "n1");
  ASSERT_TRUE(Ended(id, "Deleted")) << Log();
  EXPECT_EQ(Count("QDA0020 2 Message " + id + ": no process id for 'QDNOT', rc=-100"), 1) << Log();
  EXPECT_EQ(Count("QDA9999 A message for QDNOT/NIQ spooled as "), 1) << Log();
  EXPECT_NE(Alerts().find("\"kind\":\"backdoor\""), std::string::npos);
  EXPECT_NE(Alerts().find("Notify request for Zarvek VELMAR 1400123 EVENT file cannot be sent.\\n"
                          "CWorkMessages::GetUID() failed to translate 'QDNOT'\\n"
                          "Originating AIQ message is " + id), std::string::npos) << Alerts();
  EXPECT_EQ(History("n1")["symptom_keyword"], "fw_core_dump");
  EXPECT_EQ(Rows("select status from qd_txn_log"), "Done\n");
  Stop();
}

}  // namespace
