#ifndef QD_TXN_TEXT_H
#define QD_TXN_TEXT_H
/* The text forms of a transaction record, as its checks produce them and as
   the transaction log stores them: one NUL-terminated text per column. A
   text taken from a field char[N] has N bytes here, so it holds the at most
   N-1 characters the field can carry; a stamp becomes the 19 characters
   "YYYY/MM/DD HH:MM:SS" the database reads with 'yyyy/mm/dd hh24:mi:ss';
   a one-byte code becomes a one-character text.

   Plain C structs of char arrays only: the embedded SQL preprocessor reads
   this file too (txn_log.pgc binds the members as host variables), and it
   understands nothing else. */

struct TxnHeaderText {
  char fmt[4];             /* format number, decimal */
  char txnattr[9];         /* TxnAttr1..4, "%.2X%.2X%.2X%.2X" */
  char TxnId[4];
  char AssocId[24];
  char TxnTime[20];
  char encription[2];
  char compression[2];
  char char_set[2];
  char hw_architecture[2];
  char vendor[40];         /* prod.vendor */
  char product[40];        /* prod.prod */
  char prod_id[80];        /* prod.id */
  char sp_vendor[40];
  char sp_product[40];
  char sp_prod_id[80];
};

/* Formats 1 and 4; the last four members are format 4's own. */
struct TxnFileText {
  char FileType[10];
  char FileTime[20];
  char FileSeq[10];
  char FileSize_full[10];
  char FileSize_comp[10];
  char FileName[257];
  char comments[1024];
  char FileHash[34];
  char MultiHash[34];
  char MultiSeq[10];
  char MultiTotal[10];
};

/* Format 2. FileTime_ind is -1 (NULL) when the record carries no valid
   stamp, 0 otherwise. */
struct TxnFdbText {
  char FDB_Objid[40];
  char FileType[10];
  char FileTime[20];
  short FileTime_ind;
  char FileSeq[10];
  char FileName[257];
  char comments[1024];
};

/* Formats 3, 5, 6 and 7; model, NotifyUnique, SRnumber and EntityId are
   those of the later formats. */
struct TxnNotifyText {
  char urgency[2];
  char notclass[4];        /* class number, decimal */
  char event[257];
  char source[257];
  char EventTimeFirst[20];
  char EventTimeLast[20];
  char EventLocation[2];   /* checked, never stored */
  char abstract[81];
  char counter[10];
  char text[4001];
  char model[80];
  char NotifyUnique[257];
  char SRnumber[15];
  char EntityId[15];
};

/* Format 255. */
struct TxnStopText {
  char comments[1024];
};

#endif
