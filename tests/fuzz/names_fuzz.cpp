// The name tests on arbitrary bytes: a mask list, a wildcard and a name, separated by line feeds.
// Besides memory errors, checks that the mask list keeps exactly its non-empty pieces, that every
// test answers 0 or -1, and that the test of the current path is the name test of its last
// component and that component's extension.
#include <stdint.h>
#include <string.h>

#include "fuzz_check.h"
#include "walker/file_walker.h"

namespace {

char* Owned(const std::string& text) {
  char* copy = static_cast<char*>(malloc(text.size() + 1));
  memcpy(copy, text.c_str(), text.size() + 1);
  return copy;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> parts = fuzz::Split(data, size, '\n', 3);
  const std::string list = fuzz::AsCString(parts[0]);
  const std::string pattern = fuzz::AsCString(parts[1]);
  const std::string name = fuzz::AsCString(parts[2]);

  FileWalker walker;
  walker.AddMasks(list.c_str());
  std::vector<std::string> expected;
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = list.find(';', start);
    if (end == std::string::npos) end = list.size();
    if (end > start) expected.push_back(list.substr(start, end - start));
    start = end + 1;
  }
  std::vector<std::string> masks;
  bool anyStar = false;
  for (const MaskNode* node = walker.masks; node != nullptr; node = node->next) {
    masks.push_back(node->mask);
    anyStar = anyStar || node->mask[0] == '*';
  }
  FUZZ_CHECK(masks == expected);

  FUZZ_CHECK(walker.MatchWildcard(name.c_str()) == -1);  // no wildcard yet
  if (!pattern.empty()) walker.wildcard = Owned(pattern);
  int wild = walker.MatchWildcard(name.c_str());
  FUZZ_CHECK(wild == 0 || wild == -1);
  FUZZ_CHECK(walker.MatchWildcard(nullptr) == -1);

  const char* dot = strrchr(name.c_str(), '.');
  int named = walker.MatchName(name.c_str(), dot != nullptr ? dot + 1 : nullptr);
  FUZZ_CHECK(named == 0 || named == -1);
  if (wild == 0 || (anyStar && dot == nullptr)) FUZZ_CHECK(named == 0);
  if (walker.wildcard == nullptr && masks.empty()) FUZZ_CHECK(named == -1);

  // The same name as the last component of a path.
  std::string path = name.substr(0, FileWalker::kPathSize - 1);
  memcpy(walker.longPath, path.c_str(), path.size() + 1);
  size_t slash = path.rfind('\\');
  std::string last = slash == std::string::npos ? path : path.substr(slash + 1);
  size_t lastDot = last.rfind('.');
  int expectedCurrent = walker.MatchName(last.c_str(), lastDot != std::string::npos ? last.c_str() + lastDot + 1 : nullptr);
  FUZZ_CHECK(walker.MatchCurrentName() == expectedCurrent);
  return 0;
}
