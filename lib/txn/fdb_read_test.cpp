// The stored-file reader against real files and the real bzip2, below a
// private root. The attribute row comes from a stand-in reader; the
// database query itself is proved in fdb_attr_dbtest.cpp.

#include "fdb_read.h"

#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "fdb_bz2.h"
#include "qd_path.h"
#include "temp_root.h"

namespace {

// The attribute row the stand-in reader hands out.
struct FakeAttr {
  int result = kFdbAttrFound;
  FdbAttr row{'0', '0', 'A', 'X'};
  const char* dbmessage = "";
  int calls = 0;
};
FakeAttr g_fake;

int FakeReader(long, FdbAttr* attr, char* dbmessage, size_t msglen) {
  ++g_fake.calls;
  *attr = g_fake.row;
  snprintf(dbmessage, msglen, "%s", g_fake.dbmessage);
  return g_fake.result;
}

constexpr const char* kDir = "/sp/prod/data/files/SYS1/event";

FDBFileParm Parm(char icomp, char ocomp) {
  return FDBFileParm{100, '0', icomp, 'A', 'X', '0', ocomp, 'A', 'X'};
}

bool Exists(const std::string& resolved) {
  struct stat st;
  return lstat(resolved.c_str(), &st) == 0;
}

class FdbReadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_fake = FakeAttr{};
    FdbSetAttrReader(FakeReader);
  }
  void TearDown() override { FdbSetAttrReader(nullptr); }

  // Stores `data` as the system file kDir/name; returns the system path.
  std::string Store(const std::string& name, const std::string& data) {
    std::string path = std::string(kDir) + "/" + name;
    root_.write(path, data);
    return path;
  }

  // `data` compressed by the real bzip2, through the reader's own
  // compression path.
  std::string Compressed(const std::string& data) {
    std::string in = data;
    char* out = nullptr;
    long size = 0;
    std::string err;
    FDBFileParm parm = Parm('0', '2');
    EXPECT_EQ(FDBRead(parm, in.data(), static_cast<long>(in.size()), &out, &size, err), FDB_CONVERTED) << err;
    std::string packed = out ? std::string(out, static_cast<size_t>(size)) : "";
    free(out);
    EXPECT_EQ(packed.substr(0, 4), "BZh5");  // bzip2 stream, level 5
    return packed;
  }

  void ExpectNoTemporaries() {
    EXPECT_FALSE(Exists(QdPath(Bz2TempIn()))) << Bz2TempIn();
    EXPECT_FALSE(Exists(QdPath(Bz2TempOut()))) << Bz2TempOut();
  }

  TempRoot root_;
};

// ---- whether a conversion is needed --------------------------------------

TEST_F(FdbReadTest, NeedConversionDecidesFromCodesThenAttributes) {
  std::string err;
  EXPECT_EQ(NeedConversion(Parm('2', '2'), err), FDB_AS_STORED);
  EXPECT_EQ(err, "No conversion necessary");
  EXPECT_EQ(g_fake.calls, 0) << "equal codes must not ask the database";

  EXPECT_EQ(NeedConversion(Parm('2', '0'), err), FDB_CONVERTED);
  EXPECT_EQ(err, "File needs conversion");
  EXPECT_EQ(g_fake.calls, 1);

  FDBFileParm ebcdic{100, '0', '0', 'E', 'X', '0', '0', 'A', 'X'};
  g_fake.row.char_set = '*';
  EXPECT_EQ(NeedConversion(ebcdic, err), FDB_AS_STORED);
  EXPECT_EQ(err, "File attr indicates conversion unnecessary");
  char data[] = "raw bytes";
  char* out = nullptr;
  long size = 0;
  EXPECT_EQ(FDBRead(ebcdic, data, 9, &out, &size, err), FDB_AS_STORED);
  EXPECT_EQ(out, data) << "pass-through hands back the caller's own buffer";
  EXPECT_EQ(size, 9);

  // A type without an attribute row waives nothing.
  g_fake.result = kFdbAttrNone;
  g_fake.row = FdbAttr{'*', '*', '*', '*'};
  EXPECT_EQ(NeedConversion(ebcdic, err), FDB_CONVERTED);

  g_fake.result = kFdbAttrDbError;
  g_fake.dbmessage = "relation \"qd_fdb_attr\" does not exist";
  ebcdic.FileType = 4711;
  EXPECT_EQ(NeedConversion(ebcdic, err), FDB_FAILED);
  EXPECT_EQ(err, "DB error reading file attribute DB for file_type 4711. Msg=relation \"qd_fdb_attr\" does not exist");
}

// ---- refusals ---------------------------------------------------------

TEST_F(FdbReadTest, UnsupportedDifferencesAreRefusedInOrder) {
  std::string path = Store("ev1", "payload");
  std::string out = std::string(kDir) + "/ev1.out";
  std::string err;

  EXPECT_EQ(FDBRead(Parm('1', '0'), path.c_str(), out.c_str(), err), FDB_FAILED);
  EXPECT_EQ(err, "Unable to make requested compression change from GZIP to NONE");

  // Compression is judged before encryption, encryption before the rest.
  FDBFileParm both{100, '1', '1', 'E', 'X', '0', '0', 'A', 'X'};
  EXPECT_EQ(FDBRead(both, path.c_str(), out.c_str(), err), FDB_FAILED);
  EXPECT_EQ(err, "Unable to make requested compression change from GZIP to NONE");
  both.Icompression = '0';
  EXPECT_EQ(FDBRead(both, path.c_str(), out.c_str(), err), FDB_FAILED);
  EXPECT_EQ(err, "Unable to make requested encription change from GNUPG to NONE");
  both.Iencription = '0';
  EXPECT_EQ(FDBRead(both, path.c_str(), out.c_str(), err), FDB_FAILED);
  EXPECT_EQ(err, "Unable to make requested character set change");
  FDBFileParm arch{100, '0', '0', 'A', 'Q', '0', '0', 'A', 'X'};
  EXPECT_EQ(FDBRead(arch, path.c_str(), out.c_str(), err), FDB_FAILED);
  EXPECT_EQ(err, "Unable to make requested hardware architecture change");


  // Refused before anything is decompressed: no output, no temporaries.
  std::string packed = Store("ev1.bz2", Compressed("event text"));
  FDBFileParm bz2crypt{100, '2', '2', 'A', 'X', '0', '0', 'A', 'X'};
  EXPECT_EQ(FDBRead(bz2crypt, packed.c_str(), out.c_str(), err), FDB_FAILED);
  EXPECT_EQ(err, "Unable to make requested encription change from ZARVEK to NONE");
  EXPECT_FALSE(Exists(root_.under(out))) << "a refusal must not create the output";
  ExpectNoTemporaries();
}

// ---- bzip2 conversions ------------------------------------------------

TEST_F(FdbReadTest, RoundTripThroughRealBzip2InEveryForm) {
  std::string text;
  for (int i = 0; i < 3000; ++i) text += "line " + std::to_string(i) + '\0' + "\n";  // NULs travel too
  std::string packed = Compressed(text);
  ASSERT_LT(packed.size(), text.size());
  std::string stored = Store("ev1.bz2", packed);
  std::string err;

  char* buf = nullptr;
  long size = 0;
  ASSERT_EQ(FDBRead(Parm('2', '0'), stored.c_str(), &buf, &size, err), FDB_CONVERTED) << err;
  ASSERT_EQ(size, static_cast<long>(text.size()));
  EXPECT_EQ(std::string(buf, static_cast<size_t>(size)), text);
  EXPECT_EQ(buf[size], '\0');
  free(buf);

  std::string copy = packed;
  ASSERT_EQ(FDBRead(Parm('2', '0'), copy.data(), static_cast<long>(copy.size()), &buf, &size, err),
            FDB_CONVERTED);
  EXPECT_NE(buf, copy.data());
  EXPECT_EQ(copy, packed) << "the caller's input buffer is left alone";
  EXPECT_EQ(std::string(buf, static_cast<size_t>(size)), text);
  free(buf);

  std::string out = std::string(kDir) + "/ev1.txt";
  ASSERT_EQ(FDBRead(Parm('2', '0'), stored.c_str(), out.c_str(), err), FDB_CONVERTED) << err;
  EXPECT_EQ(root_.read(out), text);
  ExpectNoTemporaries();
}

TEST_F(FdbReadTest, CorruptDataFailsAndLeavesNothingBehind) {
  std::string stored = Store("ev1.bz2", "this is not bzip2 data");
  std::string err;
  char* buf = reinterpret_cast<char*>(1);
  long size = 7;
  EXPECT_EQ(FDBRead(Parm('2', '0'), stored.c_str(), &buf, &size, err), FDB_FAILED);
  EXPECT_EQ(err, "Command failed, rc=2. Cmd='bzip2 -d < " + root_.under(stored) + " > " +
                     QdPath(Bz2TempOut()) + "'");
  EXPECT_EQ(buf, nullptr);
  EXPECT_EQ(size, 0);

  std::string out = std::string(kDir) + "/ev1.txt";
  EXPECT_EQ(FDBRead(Parm('2', '0'), stored.c_str(), out.c_str(), err), FDB_FAILED);
  EXPECT_FALSE(Exists(root_.under(out))) << "a failed command's output is removed";
  ExpectNoTemporaries();
}

TEST_F(FdbReadTest, FileNameWithShellCharactersIsReadAndNothingRuns) {
  const std::string name = "a b;$(touch x)`touch y`'q.bz2";
  std::string stored = Store(name, Compressed("hello\n"));
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  ASSERT_EQ(chdir(root_.under(kDir).c_str()), 0);

  char* buf = nullptr;
  long size = 0;
  std::string err;
  int rc = FDBRead(Parm('2', '0'), stored.c_str(), &buf, &size, err);
  std::string got = buf ? std::string(buf, static_cast<size_t>(size)) : "";
  free(buf);
  bool touched = Exists("x") || Exists("y");
  ASSERT_EQ(chdir(cwd), 0);

  EXPECT_EQ(rc, FDB_CONVERTED) << err;
  EXPECT_EQ(got, "hello\n");
  EXPECT_FALSE(touched) << "a command hidden in the file name ran";
  // The command is shown as an operator would type it.
  EXPECT_NE(err.find("< '" + root_.under(kDir) + "/a b;$(touch x)`touch y`'\\''q.bz2'"), std::string::npos)
      << err;
}

TEST_F(FdbReadTest, MissingInputFailsInEveryPath) {
  std::string missing = std::string(kDir) + "/gone";
  std::string out = std::string(kDir) + "/gone.out";
  char* buf = nullptr;
  long size = 0;
  std::string err;

  EXPECT_EQ(FDBRead(Parm('0', '0'), missing.c_str(), &buf, &size, err), FDB_FAILED);
  EXPECT_EQ(err, "Open error (read) for '" + missing + "'");

  // Through bzip2 a missing input must not pass for an empty one.
  EXPECT_EQ(FDBRead(Parm('2', '0'), missing.c_str(), &buf, &size, err), FDB_FAILED);
  EXPECT_EQ(err.rfind("'system' call failed:", 0), 0u) << err;
  EXPECT_NE(err.find("No such file"), std::string::npos) << err;
  EXPECT_EQ(buf, nullptr);
  EXPECT_FALSE(Exists(root_.under(out)));
  ExpectNoTemporaries();
  // No name at all must not leave bzip2 reading the daemon's own input.
  EXPECT_EQ(FDBRead(Parm('2', '0'), "", out.c_str(), err), FDB_FAILED);
  EXPECT_EQ(err, "Open error (read) for ''");
}

// ---- temporaries ------------------------------------------------------

TEST_F(FdbReadTest, PlantedLinkAtTemporaryNameIsNotFollowed) {
  root_.write("/etc/victim", "precious\n");
  ASSERT_EQ(symlink(root_.under("/etc/victim").c_str(), QdPath(Bz2TempOut()).c_str()), 0);
  ASSERT_EQ(symlink(root_.under("/etc/victim").c_str(), QdPath(Bz2TempIn()).c_str()), 0);

  Compressed("new data");
  EXPECT_EQ(root_.read("/etc/victim"), "precious\n");
  ExpectNoTemporaries();
}

// ---- pass-through -----------------------------------------------------

TEST_F(FdbReadTest, PassThroughReadsAndCopiesWholeAndEmptyFiles) {
  std::string big;
  for (int i = 0; i < 20000; ++i) big += static_cast<char>(i % 251);  // spans 8192-byte blocks
  std::string stored = Store("cfg", big);
  std::string err;
  char* buf = nullptr;
  long size = 0;
  ASSERT_EQ(FDBRead(Parm('0', '0'), stored.c_str(), &buf, &size, err), FDB_AS_STORED);
  EXPECT_EQ(err, "No conversion necessary");
  EXPECT_EQ(std::string(buf, static_cast<size_t>(size)), big);
  free(buf);

  std::string out = std::string(kDir) + "/cfg.copy";
  root_.write(out, std::string(30000, 'z'));  // an older, longer output is replaced
  ASSERT_EQ(FDBRead(Parm('0', '0'), stored.c_str(), out.c_str(), err), FDB_AS_STORED) << err;
  EXPECT_EQ(root_.read(out), big);

  std::string nodir = "/sp/prod/data/files/NOSUCH/cfg";
  EXPECT_EQ(FDBRead(Parm('0', '0'), stored.c_str(), nodir.c_str(), err), FDB_FAILED);
  EXPECT_EQ(err, "Open error (write) for '" + nodir + "'");

  stored = Store("empty", "");
  ASSERT_EQ(FDBRead(Parm('0', '0'), stored.c_str(), &buf, &size, err), FDB_AS_STORED);
  ASSERT_NE(buf, nullptr);
  EXPECT_EQ(size, 0);
  EXPECT_EQ(buf[0], '\0');
  free(buf);

  // An empty "BZ2" file is no bzip2 stream.
  EXPECT_EQ(FDBRead(Parm('2', '0'), stored.c_str(), &buf, &size, err), FDB_FAILED);
  EXPECT_EQ(err.rfind("Command failed, rc=2.", 0), 0u) << err;
}

TEST_F(FdbReadTest, OutputNamingTheInputNeverDestroysIt) {
  std::string packed = Compressed("keep me");
  std::string stored = Store("ev1.bz2", packed);
  std::string err;
  EXPECT_EQ(FDBRead(Parm('2', '2'), stored.c_str(), stored.c_str(), err), FDB_AS_STORED);
  EXPECT_EQ(root_.read(stored), packed);
  EXPECT_EQ(FDBRead(Parm('2', '0'), stored.c_str(), stored.c_str(), err), FDB_FAILED);
  EXPECT_EQ(err, "Input and output are the same file '" + stored + "'");
  EXPECT_EQ(root_.read(stored), packed);
}

}  // namespace
