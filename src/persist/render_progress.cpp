#include "persist/render_progress.h"

#include <algorithm>

namespace kestrum {
namespace {

constexpr std::string_view kProgressWord = "progress ";
constexpr std::string_view kWroteWord = "wrote ";
constexpr std::string_view kErrorWord = "error ";

std::string line(std::string_view word, std::string_view text) {
  std::string out(word);
  out += text;
  std::replace(out.begin(), out.end(), '\r', ' ');
  std::replace(out.begin(), out.end(), '\n', ' ');
  out += '\n';
  return out;
}

bool startsWith(std::string_view text, std::string_view word) {
  return text.substr(0, word.size()) == word;
}

}  // namespace

std::string formatProgressReport(int percent, std::string_view text) {
  std::string number = std::to_string(std::clamp(percent, 0, 100)) + " ";
  return line(kProgressWord, number + std::string(text));
}

std::string formatWroteReport(std::string_view path) {
  return line(kWroteWord, path);
}

std::string formatErrorReport(std::string_view text) {
  return line(kErrorWord, text);
}

RenderReport parseRenderReport(std::string_view text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
  RenderReport report;
  if (startsWith(text, kWroteWord)) {
    report.kind = RenderReport::Kind::Wrote;
    report.text = text.substr(kWroteWord.size());
  } else if (startsWith(text, kErrorWord)) {
    report.kind = RenderReport::Kind::Error;
    report.text = text.substr(kErrorWord.size());
  } else if (startsWith(text, kProgressWord)) {
    std::string_view rest = text.substr(kProgressWord.size());
    size_t digits = 0;
    int percent = 0;
    while (digits < rest.size() && digits < 3 && rest[digits] >= '0' && rest[digits] <= '9')
      percent = percent * 10 + (rest[digits++] - '0');
    if (digits == 0 || percent > 100 || (digits < rest.size() && rest[digits] != ' '))
      return report;
    report.kind = RenderReport::Kind::Progress;
    report.percent = percent;
    report.text = digits < rest.size() ? rest.substr(digits + 1) : std::string_view();
  }
  return report;
}

}  // namespace kestrum
