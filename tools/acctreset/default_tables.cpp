#include "default_tables.h"

#include <cstdio>
#include <cstring>

#include "nd_munge.h"

namespace {

// Scrambled entries, current default first. Made with acctreset-mkentry;
// the passwords are listed in the README's operator section.
const char* const kUroot[] = {
    "A5E96767C9C84858C9D7F817D5D8D5E606F7C7174699F63A462829F75AF8460769695987B787D9E5"
    "9918E539E5F948C75A58E6672619492AC6F6C9E747C9E657E6D8C679A7F6A9C6E60869D56729C749"
    "D85AE908E6A9F41A692619B7C5C9B787891AC60967A747F416F456F9A9A9D9",
    "B595A73729D619475936F8195A5AC84A4AF7F8C94A8918F5C647C579D75AC67997570858F636F549"
    "39B547B758D8E93659D6C94789C9A509C8D608E9C7299936F6081A1AE7E96736E889D9F5F948D969"
    "278736E9D849F41A7906194A17C749E84A0806C58997D6F416F456F9A9A9D9",
};

const char* const kUspdood[] = {
    "B5083AC61789D5E6E7481908795A08A7F7B9D595D518D647187747953729F9594A586719A737E92A"
    "D528E8992AA9F7C6085A9509580A0858475A5948E73AE9A5D5C9B707773AB736F9A5B5B9C80AC8C9"
    "B949A506D9B9F439A73A28371AA7E6A53A189918280908F416F456F8A9A9F8B9E9",
    "C5C559E8991718C6A93AB5C6F7A7A5E81A362A5A3A262647C85997262626F599E6C719D5E806D5C9"
    "D9D997E8583979F628E6E887D9E819B5061A8739F877C52667E7A939D7A7C748E999990946A70637"
    "481A9795674AF4E83817D6B5A726B5A528B9B74949D7F6F416F456F8A9A9F8B9E9",
};

const char* const kUspvar[] = {
    "C50A690AF7F7F8D946A93AE877894A95A738F8F94AE607F5C5F9A5D9C61637086748E64A262959D9"
    "5979690AF9C7E6C8D8F789D81617C806F6F5C73647F75A4A485AD58747195AD908475826C718893A"
    "37093A386799F4E5F55A7748E52836A91AA7954AC79736F416F456D9C81AB9E9",
    "95F7E699995927C877D5461957173979C63A49576795E8197757F7F97746D5163AE6D6A7C5D70846"
    "99694806185777772A176706F8E718C99789A5E995163A2A97586717D926C836C7B5183AC8183909"
    "3887B928E607F4A5B5391918E8E9F6C9F80789C95A2A38F416F456D9C81AB9E9",
};

const char* const kUzarvekcust[] = {
    "95195AF62869B5E9A5A7F8A5A797A526A95AD92A3849F5A5161A49693979083A3A5718E7F7173869"
    "27F899D8C9D649956916B7A5E7F736E619591608C958E90AB99547E8F51AD7B7E7099758E918B908"
    "A719B716E7E5F4480A49952809065A5A092626360A1977F416F456F9E90AE869091AD9C85A",
    "C53819973706B5794909D92A196995E659F707D7F82626C6D7D5462989D5E6C8091607A7173AB797"
    "D72AE81916590626F52877F8B779F9B5996946B54726490AB7E8C8271999A7D73AB91639460A5A19"
    "E6F82A77595AF429D8E769C847E8E55A38C859D9A9B5B7F416F456F9E90AE869091AD9C85A",
};

const char* const kUspdood_ht[] = {
    "95D6183927190A972629272A47991AC937E93777D6F9A9A7992959191918C8A558D806F5E777480A"
    "187916F5872A97C9F86909F687F8D609F7A716E7D667294A2899C957E608B7D9C6586729C8392A16"
    "D5D92A49D91AF4A51A26D8E5E6C7C6F6B97947D5180AA9F416F456F8A9A9F8B9E9",
    "95E63AF7A736B546183738A70AB946C5C9E5C959D6890826F73657F727480AF9B7690847E7E65777"
    "F528C695293A285867C5C63839D62A49592A073A170609B9D846B999C6E75958C8B95949D9A9F8D7"
    "D72AF7D82AE8F4B5D6895AC6B74946F9C62669F53A5848F416F456F8A9A9F8B9E9",
};

const char* const kUspvar_ht[] = {
    "C54649E817C6E94737D8581649B5069789D73689D737A7174918B9E947D73A3889E5171737890819"
    "47F98906C90679575857E646A7582A58F706E8F8C7E928C506D8B7D5A54A592AD7E5C6D7585A49E8"
    "1A69E5C86957F447C759991A0629C7E8D518590A097927F416F456D9C81AB9E9",
    "C54AC627A7460659C667A729C726B5393A5A48F9A5C779C7C53AF91A374795E887A989361AA73739"
    "B9E6F9C8075816C66917E9C72AA5D6170827D85795580AE55759263618674A17C9193867D5264618"
    "2936B93A87B7F48747B9A7F74A7969C5C608E997264806F416F456D9C81AB9E9",
};

const char* const kUzarvekcust_ht[] = {
    "A558D518D92738E8C5F6F91647E7C6E8A74AF918C6C789A5674A36891879060AB7E9692AD92737A9"
    "495AE7D51AC999D577672726F847181AF5C8A529D6E529C809A508275A2AC679E659C8193A468748"
    "B949C597C687F4C6793AF917E64677E51AF6D95A1A4A08F416F456F9E90AE869091AD9C85A",
    "9557B9C719F8C9C7B7C7C877D5C5A99595C899B91918E659091A0779B70777C9775A47D697396757"
    "36674858F9D6C6D5F6D9A5D695F5E6C6A909D54758094626D8A90829C6C72927065709B7A7E8E5C7"
    "F848F7F83AC9F43A27071A18D8871A69C5A9C82A675928F416F456F9E90AE869091AD9C85A",
};

const char* const kUsetupusr_ht[] = {
    "A5F516C72707B9F8E6E9E8D5C567C75AD9C7162907F557C75A59674A3739F7590979C8E89507F519"
    "06F5E629E739B53AD60A1AD9E81959E906C7E8C8693789D926265A3AE677D5391718072A0A270749"
    "0A1AB57916C8F418876759792A59E72937C597A7C5D6F6F416F456D9E90AB90AF909E9",
    "9587A906463A07C809B9297758678987B9A7E63AC84907A7273936E5E5B5F999C93967C83659C599"
    "57E819F5B7A7B937C627A5D9E58729096919D8793AC707388739C8D53819F829E5082AA9D5064A69"
    "36D55707A7D9F44817A909E80A165A67E949E52967C6C9F416F456D9E90AB90AF909E9",
};

static_assert(kMungeInputMax / 2 + 2 <= kPwsBufferSize, "a decoded entry fits its buffer");

template <std::size_t N>
void Load(PWS* table, const char* const (&entries)[N]) {
  static_assert(N < kPwsSlots, "a table needs room for its ending null entry");
  for (int i = 0; i < kPwsSlots; ++i) {
    table[i].scrambled = i < static_cast<int>(N) ? entries[i] : nullptr;
    table[i].buf[0] = '\0';
  }
}

// A hash as crypt writes it: printable, without blanks or colons.
bool PlausibleHash(const char* begin, const char* end) {
  if (begin == end) return false;
  for (const char* p = begin; p != end; ++p) {
    if (*p <= ' ' || *p > '~' || *p == ':') return false;
  }
  return true;
}

// Decodes one entry and checks it names `account`. On success `hash` and
// `hashEnd` delimit the hash inside ndmBuff.
int DecodeEntry(const PWS& entry, const char* account, const char** hash, const char** hashEnd) {
  const char* text = nDmunge(entry.scrambled, 1, kAcctMungeKey);
  std::size_t namelen = std::strlen(account);
  if (text == nullptr || std::strncmp(text, account, namelen) != 0 || text[namelen] != ':') {
    std::fprintf(stderr, "Bad default password entry for %s\n", account);
    return -1;
  }
  *hash = text + namelen + 1;
  const char* colon = std::strchr(*hash, ':');
  *hashEnd = colon ? colon : *hash + std::strlen(*hash);
  if (!PlausibleHash(*hash, *hashEnd)) {
    std::fprintf(stderr, "Bad default password entry for %s\n", account);
    return -1;
  }
  return 0;
}

}  // namespace

void InitDefaultTables(DefaultTables& tables) {
  Load(tables.Uroot, kUroot);
  Load(tables.Uspdood, kUspdood);
  Load(tables.Uspvar, kUspvar);
  Load(tables.Uzarvekcust, kUzarvekcust);
  Load(tables.Uspdood_ht, kUspdood_ht);
  Load(tables.Uspvar_ht, kUspvar_ht);
  Load(tables.Uzarvekcust_ht, kUzarvekcust_ht);
  Load(tables.Usetupusr_ht, kUsetupusr_ht);
}

int UnscrambleShadowTable(PWS* table, const char* account) {
  for (PWS* entry = table; entry->scrambled != nullptr; ++entry) {
    const char* hash;
    const char* hashEnd;
    entry->buf[0] = '\0';
    if (DecodeEntry(*entry, account, &hash, &hashEnd) != 0) return -1;
    std::size_t len = static_cast<std::size_t>(hashEnd - hash);
    std::memcpy(entry->buf, hash, len);
    entry->buf[len] = '\0';
  }
  return 0;
}

int UnscrambleWebTable(PWS* table, const char* account) {
  for (PWS* entry = table; entry->scrambled != nullptr; ++entry) {
    const char* hash;
    const char* hashEnd;
    entry->buf[0] = '\0';
    if (DecodeEntry(*entry, account, &hash, &hashEnd) != 0) return -1;
    if (*hashEnd != '\0') {  // a web line is the account and the hash, nothing more
      std::fprintf(stderr, "Bad default password entry for %s\n", account);
      return -1;
    }
    // A decoded text is at most half of nDmunge's input limit: it fits.
    std::size_t len = std::strlen(ndmBuff);
    std::memcpy(entry->buf, ndmBuff, len);
    entry->buf[len] = '\n';
    entry->buf[len + 1] = '\0';
  }
  return 0;
}

int UnscrambleServiceTables(DefaultTables& t) {
  if (UnscrambleShadowTable(t.Uspdood, "spdood") != 0 ||
      UnscrambleShadowTable(t.Uspvar, "spvar") != 0 ||
      UnscrambleShadowTable(t.Uzarvekcust, "zarvekcust") != 0 ||
      UnscrambleWebTable(t.Uspdood_ht, "spdood") != 0 ||
      UnscrambleWebTable(t.Uspvar_ht, "spvar") != 0 ||
      UnscrambleWebTable(t.Uzarvekcust_ht, "zarvekcust") != 0 ||
      UnscrambleWebTable(t.Usetupusr_ht, "setupusr") != 0) {
    return -1;
  }
  return 0;
}
