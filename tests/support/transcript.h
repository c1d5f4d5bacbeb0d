// Helpers for tests that compare what the system prints.
#pragma once

#include <functional>
#include <string>

namespace support {

// Runs `body` and returns everything it wrote to standard output.
std::string CaptureOutput(const std::function<void()>& body);

// Replaces the build-date line, whose time and date change with every build, by kBuildLine once
// it has been checked against its pattern; a malformed line is left as it is, so the comparison
// shows it.
std::string NormalizeBuildLine(const std::string& transcript);
extern const char kBuildLine[];

// Removes every drawing of the progress line (a carriage return, 73 spaces, a carriage return, at
// most 70 characters of text and "..."): how many are drawn depends on the clock. The clearing of
// the line, which ends in three spaces, stays.
std::string WithoutProgress(const std::string& transcript);

// Reads a whole file as bytes; empty when it cannot be read.
std::string ReadFileBytes(const std::string& path);

// The project's source tree, for the expected transcripts kept with the end-to-end tests.
std::string SourcePath(const std::string& relative);

}  // namespace support
