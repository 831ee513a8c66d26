#include "system_statements.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>

namespace {

const char kStamp[] = "'yyyy/mm/dd hh24:mi:ss'";

// "prefix<from> , prefix<from+1> , ... , prefix<to>"
std::string Numbered(const std::string& prefix, int from, int to) {
  std::string out;
  for (int i = from; i <= to; ++i) {
    if (i != from) out += " , ";
    out += prefix + std::to_string(i);
  }
  return out;
}

// The 50 group-name host variables bound by every group membership test.
std::string GroupHosts() { return Numbered(":grp", 1, 50); }

std::string StampIn(const std::string& host) {
  return "to_timestamp ( :" + host + " , " + kStamp + " )";
}

// The transaction log insert of one format: the header columns, then the
// format's own.
std::string TxnInsert(const std::string& cols, const std::string& vals) {
  return "insert into qd_txn_log ( objid , status , txnattr , fmt , TxnId , AssocId , TxnTime , "
         "encription , compression , char_set , hw_architecture , vendor , product , prod_id , "
         "sp_vendor , sp_product , sp_prod_id , " + cols + " ) values ( :objid , :status , :txnattr , "
         ":fmt , :TxnId , :AssocId , " + StampIn("TxnTime") + " , :encription , :compression , "
         ":char_set , :hw_architecture , :vendor , :product , :prod_id , :sp_vendor , :sp_product , "
         ":sp_prod_id , " + vals + " )";
}

const std::string kFileCols =
    "FileType , FileTime , FileSeq , FileSize_full , FileSize_comp , FileName , comments";
const std::string kFileVals = ":FileType , " + StampIn("FileTime") +
                              " , :FileSeq , :FileSize_full , :FileSize_comp , :FileName , :comments";

// One group membership expansion: the first level by the starting key,
// the upper levels by the 50 names of the level below.
void AddGroupExpansion(std::vector<SystemStatement>& out, const std::string& fn,
                       const std::string& table, const std::string& start) {
  out.push_back({"libQDora_gpl", fn + " initial cursor",
                 "declare c1 cursor for select distinct group_name from " + table + " where " + start +
                     " order by group_name"});
  out.push_back({"libQDora_gpl", fn + " secondary cursor",
                 "declare c2 cursor for select distinct group_name from " + table +
                     " where member_group in ( " + GroupHosts() + " )"});
}

void AddLibrary(std::vector<SystemStatement>& out) {
  const char* lib = "libQDora_gpl";
  out.push_back({lib, "select qd_txn_log_seq.nextval", "select nextval ( 'qd_txn_log_seq' ) from dual"});
  out.push_back({lib, "insert do_fmt1", TxnInsert(kFileCols, kFileVals)});
  out.push_back({lib, "insert do_fmt2",
                 TxnInsert("FDB_Objid , FileType , FileTime , FileSeq , FileName , comments",
                           ":FDB_Objid , :FileType , " + StampIn("FileTime") +
                               " , :FileSeq , :FileName , :comments")});
  out.push_back({lib, "insert do_fmt3",
                 TxnInsert("data_source , counter , urgency , notclass , event , eventtimefirst , "
                           "eventtime , abstract , text",
                           ":source , :counter , :urgency , :notclass , :event , " +
                               StampIn("EventTimeFirst") + " , " + StampIn("EventTimeLast") +
                               " , :abstract , :text")});
  out.push_back({lib, "insert do_fmt4",
                 TxnInsert(kFileCols + " , filehash , multihash , multiseq , multitotal",
                           kFileVals + " , :FileHash , :MultiHash , :MultiSeq , :MultiTotal")});
  out.push_back({lib, "update model", "update qd_txn_log set model = $1  where objid = $2 "});
  out.push_back({lib, "update NotifyUnique",
                 "update qd_txn_log set NotifyUnique = :NotifyUnique where objid = :objid"});
  out.push_back({lib, "update for do_fmt7",
                 "update qd_txn_log set model = :model , NotifyUnique = :NotifyUnique , "
                 "SRnumber = :SRnumber , EntityId = :EntityId where objid = :objid"});
  out.push_back({lib, "insert do_fmtStop", TxnInsert("comments", ":comments")});

  out.push_back({lib, "file attribute select",
                 "select encription , compression , char_set , hw_architecture from qd_fdb_attr "
                 "where file_type = $1 "});

  AddGroupExpansion(out, "qdGrpBOM", "qd_group_mem",
                    "member_product = :product_id or member_site = :site_id");
  AddGroupExpansion(out, "qdOrgGrpBOM", "qd_orggroup_mem", "member_organization = :organization");
  AddGroupExpansion(out, "qdUGrpBOM", "qd_usergroup_mem", "member_user = :member_user");

  // The moment is a text "yyyymmddhh24miss"; to_timestamp keeps its time of
  // day (to_date would not).
  const std::string period =
      " where to_timestamp ( :now , 'yyyymmddhh24miss' ) >= active_start and to_timestamp ( :now2 , "
      "'yyyymmddhh24miss' ) < active_end and owner in ( :owner , -1 ) order by owner desc , "
      "active_start desc";
  std::string times;
  for (const char* day : {"sunday", "monday", "tuesday", "wednesday", "thursday", "friday", "saturday"}) {
    if (!times.empty()) times += " , ";
    times += std::string("coalesce ( ") + day + "_start , '2400' ) , coalesce ( " + day + "_end , '0000' )";
  }
  out.push_back({lib, "open shift cursor", "declare sc cursor for select " + times + " from qd_shift" + period});
  out.push_back({lib, "open exception cursor",
                 "declare ec cursor for select action from qd_shift_exception" + period});

  out.push_back({lib, "select timezone for site",
                 "select coalesce ( timezone_name , 'GMT' ) from qd_site where site_number = :site_number"});
}

void AddAnalyzer(std::vector<SystemStatement>& out) {
  const char* an = "qdAnalyze";
  out.push_back({an, "Update txn status", "update qd_txn_log set status = $1  where objid = $2 "});
  out.push_back({an, "FDB_Objid select",
                 "select vendor , product , prod_id , to_char ( file_date , 'yyyy/mm/dd hh24:mi:ss' ) , "
                 "file_type , file_seq , prod_filename , store_filename , encription , compression , "
                 "char_set , hw_architecture from qd_fdb_cat where objid = $1 "});
  out.push_back({an, "file_type select",
                 "select file_type from qd_fdb_attr where vendor = $1  and product = $2  and file_name = $3 "});
  out.push_back({an, "translate tag value",
                 "select data1 from qd_edit where file_type = $1  and field = upper ( $2  ) and "
                 "fieldvalue = upper ( $3  )"});
  out.push_back({an, "open tag cursor",
                 "declare tc cursor for select tagname , separator , coalesce ( redirect_name , "
                 "'<no redirect>' ) , flag_nodata , flag_repdata , flag_catdata , flag_redirect , "
                 "flag_makehex , flag_droptag from qd_tag_data where file_type = $1  order by tagname"});
  out.push_back({an, "open pattern count cursor",
                 "declare pac cursor for select apply , lineseq , rule , pattern , tag0 , tag1 , tag2 , "
                 "tag3 , tag4 , tag5 , tag6 , tag7 , tag8 , tag9 from qd_anal_pattern where file_type = $1  "
                 "order by apply , lineseq"});
  out.push_back({an, "select tag count", "select count ( * ) from qd_tag_data where file_type = $1 "});
  out.push_back({an, "select pattern count", "select count ( * ) from qd_anal_pattern where file_type = $1 "});
  out.push_back({an, "edit100 sev select",
                 "select data1 , data2 , data3 from qd_edit where file_type = $1  and field = 'SEVERITY' "
                 "and fieldvalue = upper ( $2  )"});

  std::string settings;
  const struct { const char* col; const char* null_reads; } kSettings[] = {
      {"comp", "'N'"}, {"skey", "'N'"}, {"sev", "'Y'"}, {"nu_rule", "3"}, {"nu_value", "'none'"}};
  for (const auto& s : kSettings) {
    for (int k = 0; k <= 9; ++k) {
      settings += " , coalesce ( " + std::string(s.col) + std::to_string(k) + " , " + s.null_reads + " )";
    }
  }
  out.push_back({an, "select evtdata",
                 "select handlername , coalesce ( suppress_svcalert , 'N' ) , coalesce ( nonalert_low , 'N' ) , " +
                     Numbered("template", 0, 9) + settings +
                     " from qd_anal_evtdata where file_type = :file_type and eventname = :eventname"});
  out.push_back({an, "post analysis",
                 "update qd_fdb_cat set anal_symptom = $1  , anal_date = to_timestamp ( $2  , "
                 "'yyyy/mm/dd hh24:mi:ss' ) , anal_filename = $3  where objid = $4 "});
  out.push_back({an, "MsgText select",
                 "select msgtext from qd_anal_msgtext where file_type = $1  and eventname = $2  and key1 "
                 "in ( $3  , '*' ) and key2 in ( $4  , '*' ) and key3 in ( $5  , '*' )"});
  out.push_back({an, "description select",
                 "select description , coalesce ( in_test , 'Y' ) from qd_anal_msgtext where file_type = $1  "
                 "and eventname = $2  and key1 in ( $3  , '*' ) and key2 in ( $4  , '*' ) and key3 in ( $5  , "
                 "'*' )"});
  out.push_back({an, "open fru callout cursor",
                 "declare fc cursor for select priority , probability , part_number , part_name , notes , "
                 "mproc_filename , gm_script , part_num_text from qd_fru_callout , qd_fru where fru_key = "
                 "part_number and file_type = $1  and eventname = $2  and key1 in ( $3  , '*' ) and key2 in "
                 "( $4  , '*' ) and key3 in ( $5  , '*' ) and key4 in ( $6  , '*' ) and key5 in ( $7  , '*' "
                 ") and key6 in ( $8  , '*' ) order by priority , order_in_priority"});
  out.push_back({an, "History insert",
                 "insert into qd_anal_history ( vendor , product , prod_id , file_date , file_type , "
                 "file_seq , template_used , anal_date , event_type , event_date , component , "
                 "component_loc , symptom_keyword , symptom_detail , urgency , severity , " +
                     Numbered("ea_key", 1, 6) + " , ea_details ) values ( :vendor , :product , :prod_id , " +
                     StampIn("file_date") + " , :file_type , :file_seq , :template_used , " +
                     StampIn("anal_date") + " , :event_type , " + StampIn("event_date") +
                     " , :component , :component_loc , :symptom_keyword , :symptom_detail , :urgency , "
                     ":severity , " + Numbered(":Mkey", 1, 6) + " , :EADetails )"});
  out.push_back({an, "prior analysis select",
                 "select count ( * ) from qd_fdb_cat where vendor = $1  and product = $2  and prod_id = $3  "
                 "and file_date = to_timestamp ( $4  , 'yyyy/mm/dd hh24:mi:ss' ) and file_type = $5  and "
                 "file_seq = $6  and anal_date is not null"});
  out.push_back({an, "evt_jbod_jtype code 17 Monitor select",
                 "select count ( * ) from qd_anal_history where vendor = $1  and product = $2  and prod_id = "
                 "$3  and event_type = $4  and ea_key1 = $5  and ea_key4 = $6  and ea_details like $7  and "
                 "anal_date > current_timestamp - cast ( '7 days' as interval )"});
  out.push_back({an, "NOT_PRESENT for FAN_FAIL error select",
                 "select count ( * ) from qd_anal_history where vendor = $1  and product = $2  and prod_id = "
                 "$3  and event_type in ( 'evt_ps_acstatus' , 'evt_ps_dcstatus' ) and ea_key1 = "
                 "'NOT_PRESENT' and anal_date > current_timestamp - cast ( '5 minutes' as interval ) and "
                 "ea_details like $4 "});
  out.push_back({an, "PS recent error select",
                 "select count ( * ) from qd_anal_history where vendor = $1  and product = $2  and prod_id = "
                 "$3  and event_type in ( 'evt_ps_acstatus' , 'evt_ps_dcstatus' ) and ( ( ea_key1 = "
                 "'AC_FAIL' and anal_date > current_timestamp - cast ( '1 minutes' as interval ) ) or ( "
                 "ea_key1 = 'NOT_PRESENT' and anal_date > current_timestamp - cast ( '5 minutes' as "
                 "interval ) ) ) and ea_details like $4 "});
}

void AddNotifier(std::vector<SystemStatement>& out) {
  const char* nt = "qdNotify";
  out.push_back({nt, "Update txn status",
                 "update qd_txn_log set status = $1  , notify_id = $2  where objid = $3 "});

  std::string attrs;
  for (const char* col : {"notification_grouping", "repeat_suppression", "rs_limit", "rs_window"}) {
    attrs += Numbered(col, 0, 5) + " , ";
  }
  out.push_back({nt, "attr product select",
                 "select " + attrs +
                     "reset_urgency_low , rul_window , install_cntl , coalesce ( install_site_number , ' ' ) , "
                     "cust_alert_only , nextval ( 'qd_notify_number' ) from qd_prod_attr where vendor = "
                     ":vendor and product = :product"});
  out.push_back({nt, "select installed product",
                 "select p . product_id , coalesce ( p . production , 'N' ) , coalesce ( p . status , "
                 "'Latest' ) , coalesce ( p . model , 'Unknown' ) , coalesce ( p . os_rel , 'Unknown' ) , "
                 "s . site_id , coalesce ( s . site_number , '1' ) , coalesce ( s . site_name , "
                 "'<no site name>' ) , coalesce ( s . site_nickname , '<no nickname>' ) , coalesce ( "
                 "s . status , '?' ) , coalesce ( s . timezone_name , 'GMT' ) from qd_product p , qd_site s "
                 "where p . site_id = s . site_id and p . vendor = :vendor and p . product = :product and "
                 "p . prod_id = :prod_id"});
  const std::string site_cols =
      "coalesce ( site_name , '<no site name>' ) , coalesce ( site_nickname , '<no nickname>' ) , "
      "coalesce ( status , '?' ) , coalesce ( timezone_name , 'GMT' ) from qd_site";
  out.push_back({nt, "select install_site",
                 "select coalesce ( site_id , -1 ) , site_number , " + site_cols +
                     " where site_number = :site_number"});
  out.push_back({nt, "select install_site by id",
                 "select site_id , coalesce ( site_number , '1' ) , " + site_cols + " where site_id = :site_id"});
  out.push_back({nt, "insert grouped notification",
                 "insert into qd_grouped_not ( vendor , product , notclass , prod_id , timestamp , status , "
                 "ap_vendor , ap_product , ap_prod_id , sp_vendor , sp_product , sp_prod_id , forwarded_rap , "
                 "eventtimefirst , eventtimelast , counter , abstract ) values ( :vendor , :product , "
                 ":notclass , :prod_id , current_timestamp , 'W' , :ap_vendor , :ap_product , :ap_prod_id , "
                 ":sp_vendor , :sp_product , :sp_prod_id , :forwarded_rap , " + StampIn("eventtimefirst") +
                     " , " + StampIn("eventtimelast") + " , :counter , :abstract )"});

  const std::string key =
      "vendor = :vendor and product = :product and prod_id = :prod_id and not_unique = :not_unique";
  out.push_back({nt, "select repeat notify count",
                 "select count ( * ) from qd_notify_history where " + key +
                     " and notified = 'Y' and notify_date > current_timestamp - cast ( :rs_window || "
                     "' minutes' as interval )"});
  out.push_back({nt, "select notify suppression count",
                 "select count ( * ) from qd_notify_history where " + key +
                     " and notified = 'N' and notify_date > ( select coalesce ( max ( notify_date ) , "
                     "timestamp '1970-01-01 00:00:00' ) from qd_notify_history where " + key +
                     " and notified = 'Y' )"});
  out.push_back({nt, "insert notify history",
                 "insert into qd_notify_history ( vendor , product , prod_id , not_unique , notclass , "
                 "notify_date , notify_id , abstract , notified ) values ( :vendor , :product , :prod_id , "
                 ":not_unique , :notclass , current_timestamp , :notify_id , :abstract , :notified )"});

  std::string means;
  for (const char* set : {"_h_p", "_h_o", "_l_p", "_l_o"}) {
    for (int i = 1; i <= 6; ++i) {
      if (!means.empty()) means += " || ";
      means += "max ( n . means" + std::to_string(i) + set + " )";
    }
  }
  const std::string scope = "( n . product_id = :product_id or n . site_id = :site_id or n . group_id in ( "
                            ":product_group , " + GroupHosts() + " ) )";
  out.push_back({nt, "nc cursor open",
                 "declare nc cursor for select u . resource_id , coalesce ( u . category , '<no category>' ) , "
                 "coalesce ( u . language , 'AMERICAN' ) , u . user_id , coalesce ( u . email1 , "
                 "'<no email1>' ) , coalesce ( u . email2 , '<no email2>' ) , coalesce ( u . email3 , "
                 "'<no email3>' ) , coalesce ( u . pager_type , '<no pager_type>' ) , coalesce ( "
                 "u . pager_access , '<no pager_access>' ) , coalesce ( u . perm_timezone_name , 'GMT' ) , "
                 "coalesce ( u . company , '<no company>' ) , coalesce ( n . symptom , '<no symptom>' ) , " +
                     means +
                     " from qd_user u , qd_notify n where u . resource_id = n . resource_id and "
                     "n . date_start <= current_timestamp and current_timestamp <= n . date_end and ( "
                     "n . suppress is null or n . suppress <> 'Y' ) and " + scope +
                     " group by u . resource_id , n . symptom order by u . user_id"});
  out.push_back({nt, "ot cursor open",
                 "declare ot cursor for select distinct type from qd_orggroup where group_name in ( " +
                     GroupHosts() + " ) order by type"});
  out.push_back({nt, "ss cursor open",
                 "declare ss cursor for select coalesce ( n . symptom , '<no symptom>' ) from qd_notify n "
                 "where n . resource_id = :resource_id and n . suppress = 'Y' and n . date_start <= "
                 "current_timestamp and current_timestamp <= n . date_end and " + scope});
  out.push_back({nt, "pager attribute select",
                 "select coalesce ( closed_loop , 'N' ) , transport from qd_pager_attr where type = :pager_type"});
  out.push_back({nt, "select store_filename",
                 "select objid from qd_fdb_cat where vendor = :vendor and product = :product and prod_id = "
                 ":prod_id and file_date = " + StampIn("date_time") +
                     " and file_type = ( select file_type from qd_fdb_attr where vendor = :vendor2 and "
                     "product = :product2 and file_name = :file_name ) and file_seq = :file_seq"});
  out.push_back({nt, "select_qd_rap_history_seq", "select nextval ( 'qd_rap_history_seq' ) from dual"});
  out.push_back({nt, "insert_external_sr_pending",
                 "insert into external_sr_pending ( rap_id , fdb_objid , entity_event_id , description , "
                 "priority ) values ( :rap_id , :fdb_objid , :entity_event_id , :description , :priority )"});
  const std::string rap_cols =
      "insert into qd_rap_history ( objid , rap_resource_id , vendor , product , prod_id , site_id , "
      "rap_date , status , category , urgency , abstract , rap_filename , fdb_objid , os_rel , msg_id , "
      "so_number , EntityId ) values ( ";
  const std::string rap_vals =
      " , :rap_resource_id , :vendor , :product , :prod_id , :site_id , sysdate() , :status , "
      "'unassigned' , :urgency , :abstract , :rap_filename , :fdb_objid , :os_rel , :msg_id , null , "
      ":EntityId )";
  out.push_back({nt, "insert qd_rap_history", rap_cols + "nextval ( 'qd_rap_history_seq' )" + rap_vals});
  out.push_back({nt, "insert qd_rap_history pending", rap_cols + ":objid" + rap_vals});
  out.push_back({nt, "insert entity_event_sr_requests",
                 "insert into entity_event_sr_requests ( entity_event_id , sr_status ) values ( "
                 ":entity_event_id , :sr_status )"});
}

void AddGrouper(std::vector<SystemStatement>& out) {
  const char* gn = "qdGrpNot";
  out.push_back({gn, "pac cursor open",
                 "declare pac cursor for select vendor , product , notification_grouping0 , ng_delay0 , "
                 "ng_max_delay0 , notification_grouping1 , ng_delay1 , ng_max_delay1 , notification_grouping2 "
                 ", ng_delay2 , ng_max_delay2 , notification_grouping3 , ng_delay3 , ng_max_delay3 , "
                 "notification_grouping4 , ng_delay4 , ng_max_delay4 , notification_grouping5 , ng_delay5 , "
                 "ng_max_delay5 from qd_prod_attr order by 1 , 2"});
  out.push_back({gn, "select ng count",
                 "select count ( * ) from qd_grouped_not where vendor = $1  and product = $2  and notclass = $3 "});
  out.push_back({gn, "open pc",
                 "declare pc cursor for select distinct prod_id from qd_grouped_not p where vendor = $1  and "
                 "product = $2  and notclass = $3  and ( $4  < ( select extract ( epoch from age ( "
                 "current_timestamp , max ( c . timestamp ) ) ) / 86400.0 from qd_grouped_not c where "
                 "c . vendor = $5  and c . product = $6  and c . notclass = $7  and c . prod_id = p . prod_id "
                 "group by c . prod_id ) or $8  < ( select extract ( epoch from age ( current_timestamp , min "
                 "( d . timestamp ) ) ) / 86400.0 from qd_grouped_not d where d . vendor = $9  and d . product "
                 "= $10  and d . notclass = $11  and d . prod_id = p . prod_id group by d . prod_id ) )"});
  out.push_back({gn, "pc lock",
                 "update qd_grouped_not set status = 'L' where vendor = $1  and product = $2  and notclass = $3 "
                 " and prod_id = $4 "});
  out.push_back({gn, "open nc",
                 "declare nc cursor for select ap_vendor , ap_product , ap_prod_id , sp_vendor , sp_product , "
                 "sp_prod_id , abstract , upper ( coalesce ( forwarded_rap , 'N' ) ) , sum ( counter ) , "
                 "to_char ( min ( eventtimefirst ) , 'yyyy/mm/dd hh24:mi:ss' ) , to_char ( max ( "
                 "eventtimelast ) , 'yyyy/mm/dd hh24:mi:ss' ) from qd_grouped_not where vendor = $1  and "
                 "product = $2  and notclass = $3  and prod_id = $4  and status = 'L' group by ap_vendor , "
                 "ap_product , ap_prod_id , sp_vendor , sp_product , sp_prod_id , abstract , upper ( coalesce "
                 "( forwarded_rap , 'N' ) ) order by 10"});
  out.push_back({gn, "delete processed lines",
                 "delete from qd_grouped_not where vendor = $1  and product = $2  and notclass = $3  and "
                 "prod_id = $4  and status = 'L'"});
}

}  // namespace

const std::vector<SystemStatement>& SystemStatements() {
  static const std::vector<SystemStatement> all = [] {
    std::vector<SystemStatement> out;
    AddLibrary(out);
    AddAnalyzer(out);
    AddNotifier(out);
    AddGrouper(out);
    return out;
  }();
  return all;
}

std::vector<SystemStatement> StatementsOf(const std::string& program) {
  std::vector<SystemStatement> out;
  for (const auto& s : SystemStatements()) {
    if (s.program == program) out.push_back(s);
  }
  return out;
}

const SystemStatement& FindStatement(const std::string& program, const std::string& name) {
  for (const auto& s : SystemStatements()) {
    if (s.program == program && s.name == name) return s;
  }
  std::fprintf(stderr, "no statement '%s' of %s\n", name.c_str(), program.c_str());
  std::abort();
}

std::string PgText(const std::string& text) {
  std::string out;
  int next = 1;
  bool quoted = false;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\'') quoted = !quoted;
    bool host = !quoted && c == ':' && i + 1 < text.size() &&
                (std::isalpha(static_cast<unsigned char>(text[i + 1])) || text[i + 1] == '_') &&
                (i == 0 || text[i - 1] != ':');
    if (!host) {
      out += c;
      continue;
    }
    size_t end = i + 1;
    while (end < text.size() &&
           (std::isalnum(static_cast<unsigned char>(text[end])) || text[end] == '_')) {
      ++end;
    }
    out += "$" + std::to_string(next++);
    i = end - 1;
  }
  return out;
}
