#include "fake_log.hpp"

#include <fstream>
#include <map>
#include <stdexcept>

namespace vyx::test {

namespace {

std::string unescape(const std::string& field) {
  std::string out;
  out.reserve(field.size());
  for (size_t i = 0; i < field.size(); ++i) {
    char c = field[i];
    if (c != '\\') {
      out += c;
      continue;
    }
    if (++i == field.size()) throw std::runtime_error("fake log: dangling backslash");
    switch (field[i]) {
      case '\\': out += '\\'; break;
      case 't': out += '\t'; break;
      case 'n': out += '\n'; break;
      case 'r': out += '\r'; break;
      default: throw std::runtime_error("fake log: unknown escape");
    }
  }
  return out;
}

std::vector<std::string> splitTabs(const std::string& line) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (;;) {
    size_t tab = line.find('\t', start);
    fields.push_back(unescape(line.substr(start, tab - start)));
    if (tab == std::string::npos) break;
    start = tab + 1;
  }
  return fields;
}

}  // namespace

std::vector<FakeCall> readFakeCalls(const std::string& logPath) {
  std::ifstream in(logPath, std::ios::binary);
  std::vector<FakeCall> calls;
  std::map<std::string, size_t> lastCallOfPid;
  std::string line;
  while (std::getline(in, line)) {
    std::vector<std::string> fields = splitTabs(line);
    if (fields[0] == "call" && fields.size() >= 3) {
      lastCallOfPid[fields[1]] = calls.size();
      calls.push_back({std::vector<std::string>(fields.begin() + 2, fields.end()), std::nullopt});
    } else if (fields[0] == "stdin" && fields.size() == 3) {
      auto it = lastCallOfPid.find(fields[1]);
      if (it == lastCallOfPid.end()) throw std::runtime_error("fake log: stdin record without a call");
      calls[it->second].input = fields[2];
    } else {
      throw std::runtime_error("fake log: malformed line: " + line);
    }
  }
  return calls;
}

std::vector<std::vector<std::string>> readFakeLog(const std::string& logPath) {
  std::vector<std::vector<std::string>> out;
  for (FakeCall& call : readFakeCalls(logPath)) out.push_back(std::move(call.argv));
  return out;
}

}  // namespace vyx::test
