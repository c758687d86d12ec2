// The final renderer's progress report: the lines kilnshot writes to a descriptor the window
// names with kProgressFdOption while it renders the hand-off job, and the window reads to show
// how the render gets on and what came of it. Part of the render hand-off, beside the job file.
//
// One report a line, ended by LF:
//   "progress P TEXT"  P (0..100) per cent done, TEXT what is being done now
//   "wrote PATH"       a picture was written whole to PATH
//   "error TEXT"       why a picture could not be made
// Texts carry no line break: formatting turns CR and LF into spaces. Parsing never fails: a line
// that is none of these is RenderReport::Kind::Other and is ignored by readers.
#pragma once

#include <string>
#include <string_view>

namespace kestrum {

// The renderer's option that names the descriptor ("--progress-fd 1": standard output).
inline constexpr const char* kProgressFdOption = "--progress-fd";

struct RenderReport {
  enum class Kind { Other, Progress, Wrote, Error };
  Kind kind = Kind::Other;
  int percent = 0;   // Progress only, 0..100
  std::string text;  // the TEXT or PATH
};

std::string formatProgressReport(int percent, std::string_view text);
std::string formatWroteReport(std::string_view path);
std::string formatErrorReport(std::string_view text);

// Reads one line (with or without its LF or CR LF).
RenderReport parseRenderReport(std::string_view line);

}  // namespace kestrum
