#include "persist/session_record.h"

#include <bit>
#include <cstring>
#include <limits>

#include "state/app_state.h"
#include "system/system.h"

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

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

}  // namespace

SessionRecord newSessionRecord() {
  SessionRecord r;
  r.CameraY = 4.75f;
  r.CameraZ = -5.0f;
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
  return r;
}

bool writeSessionFile(const std::string& path, const SessionRecord& record, std::string* error) {
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
  return r;
}

}  // namespace kestrum
