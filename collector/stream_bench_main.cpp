// streambench: the stream reader's throughput against expat's on the same
// bytes. The stream is the corpus events in EventList documents of one to
// four events, with heartbeats between, fed in blocks of 8000 bytes (as the
// collector reads them). expat reads each document with element and text
// handlers that count, as the reader's callback does.
//
//   streambench CORPUS_DIR [MEGABYTES]     (default 64)
// Prints "reader MB/s", "expat MB/s" and their ratio.
#include <dirent.h>
#include <expat.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "event_parser.h"

namespace {

std::string StreamForm(const std::string& file) {
  size_t at = file.find("XML FORMAT:\n") + 12;
  size_t serial = file.find("  <Serial>", at);
  return file.substr(at, serial - at) + "</Event>";
}

double Seconds(std::chrono::steady_clock::time_point a) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - a).count();
}

long g_count = 0;
void XMLCALL OnStart(void*, const XML_Char*, const XML_Char**) { ++g_count; }
void XMLCALL OnEnd(void*, const XML_Char*) {}
void XMLCALL OnText(void*, const XML_Char*, int) {}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: streambench CORPUS_DIR [MEGABYTES]\n");
    return 2;
  }
  const size_t want = static_cast<size_t>(argc > 2 ? std::atoi(argv[2]) : 64) << 20;
  std::vector<std::string> events;
  if (DIR* d = opendir(argv[1])) {
    while (dirent* ent = readdir(d)) {
      std::string n = ent->d_name;
      if (n.rfind("evt_", 0) != 0) continue;
      std::ifstream in(std::string(argv[1]) + "/" + n);
      std::stringstream s;
      s << in.rdbuf();
      events.push_back(StreamForm(s.str()));
    }
    closedir(d);
  }
  if (events.empty()) return 1;
  std::string stream;
  std::vector<std::pair<size_t, size_t>> docs;  // offset, length
  for (size_t i = 0; stream.size() < want; ++i) {
    stream += "<Heartbeat/>\n";
    size_t start = stream.size();
    stream += "<EventList>\n<Version>1</Version>\n";
    for (size_t k = 0; k <= i % 4; ++k) stream += events[(i + k) % events.size()] + "\n";
    stream += "</EventList>";
    docs.emplace_back(start, stream.size() - start);
    stream += "\n";
  }
  const double mb = stream.size() / 1048576.0;

  EventParser p;
  long delivered = 0;
  p.callback = [&](evtmon_t&, const std::string&) { ++delivered; };
  std::string err;
  auto t0 = std::chrono::steady_clock::now();
  std::string block;
  for (size_t at = 0; at < stream.size(); at += 8000) {
    block.assign(stream, at, 8000);
    process_buf(p, block.data(), static_cast<long>(block.size()), err);
    if (!err.empty()) {
      std::fprintf(stderr, "reader error: %s\n", err.c_str());
      return 1;
    }
  }
  double reader = Seconds(t0);

  XML_Parser x = XML_ParserCreate(nullptr);
  t0 = std::chrono::steady_clock::now();
  for (const auto& doc : docs) {
    XML_ParserReset(x, nullptr);
    XML_SetElementHandler(x, OnStart, OnEnd);
    XML_SetCharacterDataHandler(x, OnText);
    if (XML_Parse(x, stream.data() + doc.first, static_cast<int>(doc.second), 1) != XML_STATUS_OK) {
      std::fprintf(stderr, "expat error: %s\n", XML_ErrorString(XML_GetErrorCode(x)));
      return 1;
    }
  }
  double expat = Seconds(t0);
  XML_ParserFree(x);
  std::printf("stream %.1f MB, %zu documents, %ld events\n", mb, docs.size(), delivered);
  std::printf("reader %.1f MB/s\nexpat %.1f MB/s\nratio %.2f\n", mb / reader, mb / expat, expat / reader);
  return 0;
}
