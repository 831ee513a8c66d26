#include "fdb_read.h"

#include <cstdio>

#include "fdb_bz2.h"
#include "fdb_file.h"

const FdbCodeName EncryptTypes[3] = {{'0', "NONE"}, {'1', "GNUPG"}, {'2', "ZARVEK"}};
const FdbCodeName CompressTypes[6] = {{'0', "NONE"}, {'1', "GZIP"}, {'2', "BZ2"},
                                      {'3', "TAR"},  {'4', "TGZ"},  {'5', "TBZ2"}};

namespace {

FdbAttrReader g_attr_reader = FdbQueryAttr;

template <size_t N>
std::string NameIn(const FdbCodeName (&table)[N], char code) {
  for (const FdbCodeName& entry : table) {
    if (entry.code == code) return entry.name;
  }
  return std::string("UNKNOWN(") + code + ")";
}

bool AllEqual(const FDBFileParm& p) {
  return p.Iencription == p.Oencription && p.Icompression == p.Ocompression &&
         p.Ichar_set == p.Ochar_set && p.Ihw_architecture == p.Ohw_architecture;
}

bool Matters(char stored, char wanted, char attribute) {
  return stored != wanted && attribute != kFdbAttrAny;
}

// NeedConversion, handing back the attribute row it read (blanks when it
// read none, which waive nothing).
int Need(const FDBFileParm& p, FdbAttr* attr, std::string& errortext) {
  *attr = FdbAttr{' ', ' ', ' ', ' '};
  if (AllEqual(p)) {
    errortext = "No conversion necessary";
    return FDB_AS_STORED;
  }
  char dbmessage[256] = {0};
  int found = g_attr_reader(p.FileType, attr, dbmessage, sizeof dbmessage);
  if (found != kFdbAttrFound) *attr = FdbAttr{' ', ' ', ' ', ' '};
  if (found == kFdbAttrDbError) {
    char text[512];
    snprintf(text, sizeof text, "DB error reading file attribute DB for file_type %ld. Msg=%s",
             static_cast<long>(p.FileType), dbmessage);
    errortext = text;
    return FDB_FAILED;
  }
  if (Matters(p.Iencription, p.Oencription, attr->encription) ||
      Matters(p.Icompression, p.Ocompression, attr->compression) ||
      Matters(p.Ichar_set, p.Ochar_set, attr->char_set) ||
      Matters(p.Ihw_architecture, p.Ohw_architecture, attr->hw_architecture)) {
    errortext = "File needs conversion";
    return FDB_CONVERTED;
  }
  errortext = "File attr indicates conversion unnecessary";
  return FDB_AS_STORED;
}

// Decides the conversion of a file that needs one. Every refusal is found
// before any data is touched, so a refused request never leaves converted
// output behind. Returns FDB_FAILED with the text, or FDB_CONVERTED with
// *option the bzip2 option to run (null: nothing to run).
int Plan(const FDBFileParm& p, const FdbAttr& attr, const char** option, std::string& errortext) {
  *option = nullptr;
  if (p.Icompression == kFdbCompressBz2 && p.Ocompression == kFdbCodeNone) {
    *option = kBz2Decompress;
  } else if (p.Icompression == kFdbCodeNone && p.Ocompression == kFdbCompressBz2) {
    *option = kBz2Compress;
  } else if (Matters(p.Icompression, p.Ocompression, attr.compression)) {
    errortext = "Unable to make requested compression change from " + FdbCompressName(p.Icompression) +
                " to " + FdbCompressName(p.Ocompression);
    return FDB_FAILED;
  }
  if (Matters(p.Iencription, p.Oencription, attr.encription)) {
    errortext = "Unable to make requested encription change from " + FdbEncryptName(p.Iencription) +
                " to " + FdbEncryptName(p.Oencription);
    return FDB_FAILED;
  }
  if (Matters(p.Ichar_set, p.Ochar_set, attr.char_set)) {
    errortext = "Unable to make requested character set change";
    return FDB_FAILED;
  }
  if (Matters(p.Ihw_architecture, p.Ohw_architecture, attr.hw_architecture)) {
    errortext = "Unable to make requested hardware architecture change";
    return FDB_FAILED;
  }
  return FDB_CONVERTED;
}

// NeedConversion and Plan together: FDB_FAILED, FDB_AS_STORED (pass the
// data through), or FDB_CONVERTED with *option to run.
int Decide(const FDBFileParm& p, const char** option, std::string& errortext) {
  *option = nullptr;
  FdbAttr attr;
  int need = Need(p, &attr, errortext);
  if (need != FDB_CONVERTED) return need;
  if (Plan(p, attr, option, errortext) == FDB_FAILED) return FDB_FAILED;
  // Only a compression step converts data; without one, what is left to
  // do is to pass the data on as it is.
  return *option ? FDB_CONVERTED : FDB_AS_STORED;
}

}  // namespace

std::string FdbEncryptName(char code) { return NameIn(EncryptTypes, code); }
std::string FdbCompressName(char code) { return NameIn(CompressTypes, code); }

int NeedConversion(const FDBFileParm& parm, std::string& errortext) {
  FdbAttr attr;
  return Need(parm, &attr, errortext);
}

int FDBRead(const FDBFileParm& parm, char* inbuffer, long insize, char** outbuffer, long* outsize,
            std::string& errortext) {
  *outbuffer = nullptr;
  *outsize = 0;
  const char* option;
  int rc = Decide(parm, &option, errortext);
  if (rc == FDB_AS_STORED) {
    *outbuffer = inbuffer;
    *outsize = insize;
    return FDB_AS_STORED;
  }
  if (rc == FDB_FAILED) return FDB_FAILED;
  return BZ2(option, inbuffer, insize, outbuffer, outsize, errortext) == 1 ? FDB_CONVERTED : FDB_FAILED;
}

int FDBRead(const FDBFileParm& parm, const char* infile, char** outbuffer, long* outsize,
            std::string& errortext) {
  *outbuffer = nullptr;
  *outsize = 0;
  const char* option;
  int rc = Decide(parm, &option, errortext);
  if (rc == FDB_AS_STORED) {
    std::string readtext;
    if (FdbReadWholeFile(infile, outbuffer, outsize, readtext) != 0) {
      errortext = readtext;
      return FDB_FAILED;
    }
    return FDB_AS_STORED;
  }
  if (rc == FDB_FAILED) return FDB_FAILED;
  return BZ2(option, infile, outbuffer, outsize, errortext) == 1 ? FDB_CONVERTED : FDB_FAILED;
}

int FDBRead(const FDBFileParm& parm, const char* infile, const char* outfile, std::string& errortext) {
  const char* option;
  int rc = Decide(parm, &option, errortext);
  if (rc == FDB_AS_STORED) {
    std::string copytext;
    if (FdbCopyFile(infile, outfile, copytext) != 0) {
      errortext = copytext;
      return FDB_FAILED;
    }
    return FDB_AS_STORED;
  }
  if (rc == FDB_FAILED) return FDB_FAILED;
  return BZ2(option, infile, outfile, errortext) == 1 ? FDB_CONVERTED : FDB_FAILED;
}

FdbAttrReader FdbSetAttrReader(FdbAttrReader reader) {
  FdbAttrReader previous = g_attr_reader;
  g_attr_reader = reader ? reader : FdbQueryAttr;
  return previous;
}
