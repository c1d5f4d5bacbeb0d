#include "support/transcript.h"

#include <gtest/gtest.h>
#include <stdio.h>

#include <fstream>
#include <regex>
#include <sstream>

namespace support {

const char kBuildLine[] = "Build date:  hh:mm:ss;Mmm dd yyyy";

std::string CaptureOutput(const std::function<void()>& body) {
  fflush(stdout);
  testing::internal::CaptureStdout();
  body();
  fflush(stdout);
  return testing::internal::GetCapturedStdout();
}

std::string NormalizeBuildLine(const std::string& transcript) {
  static const std::regex kPattern(
      "Build date:  [0-2][0-9]:[0-5][0-9]:[0-5][0-9];"
      "(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) [ 1-3][0-9] [0-9]{4}\n");
  return std::regex_replace(transcript, kPattern, std::string(kBuildLine) + "\n",
                            std::regex_constants::format_first_only);
}

std::string WithoutProgress(const std::string& transcript) {
  static const std::regex kDrawing("\r {73}\r[^\r\n]{1,70}\\.\\.\\.");
  return std::regex_replace(transcript, kDrawing, "");
}

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

std::string SourcePath(const std::string& relative) { return std::string(VR_SOURCE_DIR) + "/" + relative; }

}  // namespace support
