#include "persist/session_record.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

#include <zlib.h>

#include "engine/engine.h"
#include "state/app_state.h"
#include "system/system.h"
#include "viewport/viewport.h"

namespace kestrum {
namespace {

class Writer {
 public:
  void putInt(int32_t value) {
    auto u = static_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i) bytes_.push_back(static_cast<uint8_t>(u >> (8 * i)));
  }
  void putFloat(float value) { putInt(std::bit_cast<int32_t>(value)); }
  void putLine(const std::string& text) {
    bytes_.insert(bytes_.end(), text.begin(), text.end());
    bytes_.push_back('\r');
    bytes_.push_back('\n');
  }
  void putBytes(const void* data, size_t size) {
    const auto* p = static_cast<const uint8_t*>(data);
    bytes_.insert(bytes_.end(), p, p + size);
  }
  std::vector<uint8_t> take() { return std::move(bytes_); }

 private:
  std::vector<uint8_t> bytes_;
};

// Walks the record front to back; every read at or past the end yields zero bytes.
class Reader {
 public:
  Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  int32_t getInt() {
    uint32_t u = 0;
    for (int i = 0; i < 4; ++i) {
      uint32_t b = pos_ < size_ ? data_[pos_] : 0;
      if (pos_ < size_) ++pos_;
      u |= b << (8 * i);
    }
    return static_cast<int32_t>(u);
  }
  float getFloat() { return std::bit_cast<float>(getInt()); }
  std::string getLine() {
    size_t start = pos_;
    while (pos_ < size_ && data_[pos_] != '\r' && data_[pos_] != '\n' && data_[pos_] != 0) ++pos_;
    std::string text(reinterpret_cast<const char*>(data_) + start, pos_ - start);
    if (pos_ < size_) {
      uint8_t end = data_[pos_++];
      if (end == '\r' && pos_ < size_ && data_[pos_] == '\n') ++pos_;
    }
    return text;
  }
  // What is left after the fields read so far.
  const uint8_t* rest() const { return data_ + std::min(pos_, size_); }
  size_t restSize() const { return pos_ < size_ ? size_ - pos_ : 0; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

constexpr size_t kBlockHeaderSize = sizeof kSessionBlockMarker + 4 + 4;
// The longest entries text a block may carry; far beyond any real use, small enough to read.
constexpr size_t kMaxBlockText = size_t{1} << 20;

uint32_t readU32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

uint32_t checksum(const std::string& text) {
  return static_cast<uint32_t>(
      crc32(0L, reinterpret_cast<const Bytef*>(text.data()), static_cast<uInt>(text.size())));
}

std::string escapeValue(std::string_view value) {
  std::string out;
  for (char c : value) {
    if (c == '\\')
      out += "\\\\";
    else if (c == '\n')
      out += "\\n";
    else if (c == '\r')
      out += "\\r";
    else
      out += c;
  }
  return out;
}

// False for a value with an unknown escape or a dangling backslash.
bool unescapeValue(std::string_view text, std::string* out) {
  out->clear();
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      *out += text[i];
      continue;
    }
    if (++i >= text.size()) return false;
    switch (text[i]) {
      case '\\':
        *out += '\\';
        break;
      case 'n':
        *out += '\n';
        break;
      case 'r':
        *out += '\r';
        break;
      default:
        return false;
    }
  }
  return true;
}

void putEntries(Writer& w, const SessionEntries& entries) {
  if (entries.empty()) return;
  std::string text;
  for (const auto& [name, value] : entries.entries())
    text += name + "=" + escapeValue(value) + "\n";
  w.putBytes(kSessionBlockMarker, sizeof kSessionBlockMarker);
  w.putInt(kSessionBlockVersion);
  w.putInt(static_cast<int32_t>(text.size()));
  w.putBytes(text.data(), text.size());
  w.putInt(static_cast<int32_t>(checksum(text)));
}

// The entries of a block at `data`; empty when there is none or it is damaged in any way.
SessionEntries readEntries(const uint8_t* data, size_t size) {
  SessionEntries none;
  if (size < kBlockHeaderSize + 4 ||
      std::memcmp(data, kSessionBlockMarker, sizeof kSessionBlockMarker) != 0) {
    return none;
  }
  const uint8_t* p = data + sizeof kSessionBlockMarker;
  if (static_cast<int32_t>(readU32(p)) != kSessionBlockVersion) return none;
  uint32_t length = readU32(p + 4);
  if (length > kMaxBlockText || length > size - kBlockHeaderSize - 4) return none;
  std::string text(reinterpret_cast<const char*>(data + kBlockHeaderSize), length);
  if (readU32(data + kBlockHeaderSize + length) != checksum(text)) return none;
  SessionEntries entries;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) return none;
    std::string_view line(text.data() + start, end - start);
    size_t eq = line.find('=');
    std::string value;
    if (eq == std::string_view::npos || !unescapeValue(line.substr(eq + 1), &value)) return none;
    std::string_view name = line.substr(0, eq);
    if (entries.get(name) || !entries.set(name, value)) return none;  // a bad or doubled name
    start = end + 1;
  }
  return entries;
}

bool isNameCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '-';
}

}  // namespace

std::optional<std::string> SessionEntries::get(std::string_view name) const {
  for (const Entry& e : entries_)
    if (e.first == name) return e.second;
  return std::nullopt;
}

bool SessionEntries::set(std::string_view name, std::string_view value) {
  if (!isValidName(name)) return false;
  for (Entry& e : entries_) {
    if (e.first == name) {
      e.second = value;
      return true;
    }
  }
  entries_.emplace_back(name, value);
  return true;
}

void SessionEntries::erase(std::string_view name) {
  std::erase_if(entries_, [&](const Entry& e) { return e.first == name; });
}

bool SessionEntries::isValidName(std::string_view name) {
  if (name.empty() || name.size() > 64) return false;
  for (char c : name)
    if (!isNameCharacter(c)) return false;
  return true;
}

SessionRecord newSessionRecord() {
  SessionRecord r;
  r.CameraX = kCameraHomePosition.x;
  r.CameraY = kCameraHomePosition.y;
  r.CameraZ = kCameraHomePosition.z;
  r.Style = 3;
  r.OutputWidth = 800;
  r.OutputHeight = 836;
  r.FilterType = 3;
  r.AntiAlias = 1;
  r.Shadows = 1;
  r.LightRange = 12.0f;
  r.AmbientLevel = 80;
  r.OptimizeTextures = 1;
  return r;
}

std::vector<uint8_t> encodeSessionRecord(const SessionRecord& r) {
  Writer w;
  w.putFloat(r.PivotRotationX);
  w.putFloat(r.PivotRotationY);
  w.putFloat(r.CameraX);
  w.putFloat(r.CameraY);
  w.putFloat(r.CameraZ);
  w.putInt(r.Style);
  for (const auto& path : r.CoverPaths) w.putLine(path);
  w.putLine(r.OutputPath);
  w.putInt(r.OutputWidth);
  w.putInt(r.OutputHeight);
  w.putInt(r.FilterType);
  w.putInt(r.AntiAlias);
  w.putInt(r.Shadows);
  w.putInt(r.Background);
  w.putInt(r.LightAngle);
  w.putFloat(r.LightRange);
  w.putInt(r.AmbientLevel);
  w.putInt(r.OptimizeTextures);
  putEntries(w, r.Entries);
  return w.take();
}

SessionRecord decodeSessionRecord(const uint8_t* data, size_t size) {
  Reader in(data, size);
  SessionRecord r;
  r.PivotRotationX = in.getFloat();
  r.PivotRotationY = in.getFloat();
  r.CameraX = in.getFloat();
  r.CameraY = in.getFloat();
  r.CameraZ = in.getFloat();
  r.Style = in.getInt();
  for (auto& path : r.CoverPaths) path = in.getLine();
  r.OutputPath = in.getLine();
  r.OutputWidth = in.getInt();
  r.OutputHeight = in.getInt();
  r.FilterType = in.getInt();
  r.AntiAlias = in.getInt();
  r.Shadows = in.getInt();
  r.Background = in.getInt();
  r.LightAngle = in.getInt();
  r.LightRange = in.getFloat();
  r.AmbientLevel = in.getInt();
  r.OptimizeTextures = in.getInt();
  r.Entries = readEntries(in.rest(), in.restSize());
  return r;
}

bool fitsSessionLine(std::string_view text) {
  return text.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

bool writeSessionFile(const std::string& path, const SessionRecord& record, std::string* error) {
  std::vector<const std::string*> lines;
  for (const auto& cover : record.CoverPaths) lines.push_back(&cover);
  lines.push_back(&record.OutputPath);
  for (const std::string* line : lines) {
    if (!fitsSessionLine(*line)) {
      if (error) *error = "a path holds a line break or a zero byte, which a session cannot store";
      return false;
    }
  }
  std::vector<uint8_t> bytes = encodeSessionRecord(record);
  return sys::writeFileAtomic(path, bytes.data(), bytes.size(), error);
}

bool readSessionFile(const std::string& path, SessionRecord* record, std::string* error) {
  auto bytes = sys::readFile(path, kMaxSessionFileSize, error);
  if (!bytes) return false;
  *record = decodeSessionRecord(bytes->data(), bytes->size());
  return true;
}

int32_t readLooseInteger(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int base = 10;
  if (i < text.size() && text[i] == '$') {
    base = 16;
    ++i;
  } else if (i < text.size() && text[i] == '%') {
    base = 2;
    ++i;
  }
  constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
  int64_t value = 0;
  for (; i < text.size(); ++i) {
    char c = text[i];
    int digit = -1;
    if (c >= '0' && c <= '9')
      digit = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f')
      digit = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F')
      digit = c - 'A' + 10;
    if (digit < 0 || digit >= base) break;
    value = value * base + digit;
    if (value > kLimit) value = kLimit;  // saturate; keeps going to consume the digits
  }
  if (negative) return static_cast<int32_t>(-value);
  return static_cast<int32_t>(value > kLimit - 1 ? kLimit - 1 : value);
}

SessionRecord captureSessionRecord(const AppState& s) {
  SessionRecord r;
  EngineVec3 rotation, position;
  iNodeRotation(s.CameraPivot, &rotation);
  iNodePositionP(s.Camera, &position);
  r.PivotRotationX = rotation.x;
  r.PivotRotationY = rotation.y;
  r.CameraX = position.x;
  r.CameraY = position.y;
  r.CameraZ = position.z;
  r.Style = s.CurrentStyle;
  for (int slot = 0; slot < kCoverSlotCount; ++slot) r.CoverPaths[slot] = s.Covers[slot].Path;
  r.OutputPath = s.OutputPath;
  r.OutputWidth = s.OutputWidth;
  r.OutputHeight = s.OutputHeight;
  r.FilterType = s.FilterType;
  r.AntiAlias = s.AntiAlias;
  r.Shadows = s.Shadows;
  r.Background = s.Background;
  r.LightAngle = s.LightAngle;
  r.LightRange = s.LightRange;
  r.AmbientLevel = s.AmbientLevel;
  r.OptimizeTextures = s.OptimizeTextures;
  for (const auto& [name, value] : s.KeptSessionEntries) r.Entries.set(name, value);
  return r;
}

void applySessionRecord(const SessionRecord& r, AppState& s, RecordPart part) {
  s.OutputPath = r.OutputPath;
  s.OutputWidth = r.OutputWidth;
  s.OutputHeight = r.OutputHeight;
  s.FilterType = r.FilterType;
  s.AntiAlias = r.AntiAlias;
  s.Shadows = r.Shadows;
  s.Background = r.Background;
  s.LightAngle = r.LightAngle;
  // A damaged number must not reach the light: the default range stands in for it.
  s.LightRange = std::isfinite(r.LightRange) ? r.LightRange : newSessionRecord().LightRange;
  // A level outside the grey scale would be cut to 8 bits by the light and stopped at the end
  // by the scroll bar: both take the nearest level the scale has.
  s.AmbientLevel = std::clamp(r.AmbientLevel, 0, kMaxAmbientLevel);
  if (part == RecordPart::SettingsButOptimize) return;
  s.OptimizeTextures = r.OptimizeTextures;
  if (part == RecordPart::Settings) return;
  if (IsBoxStyle(r.Style)) s.CurrentStyle = r.Style;
  for (int slot = 0; slot < kCoverSlotCount; ++slot) s.Covers[slot].Path = r.CoverPaths[slot];
  s.KeptSessionEntries = r.Entries.entries();
}

}  // namespace kestrum
