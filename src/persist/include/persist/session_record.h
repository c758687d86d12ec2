// Session records: the byte layout of session files (*.ksm) and of the render hand-off file.
//
// A record has no header or version; its fields follow one another in a fixed order: five
// floats (camera pivot pitch and yaw, camera position), the box style, seven text lines ended by
// CR LF (six cover paths in slot order, then the output path), nine numbers of render settings.
// Decoding never fails: whatever is missing at the end reads as zeros and empty texts, as older
// and damaged files expect. Reading and writing files report failures as false with a reason.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct AppState;

namespace kestrum {

struct SessionRecord {
  float PivotRotationX = 0.0f;  // camera pivot pitch, degrees
  float PivotRotationY = 0.0f;  // camera pivot yaw, degrees
  float CameraX = 0.0f;         // camera position relative to its pivot
  float CameraY = 0.0f;
  float CameraZ = 0.0f;
  int32_t Style = 0;
  std::array<std::string, 6> CoverPaths;  // Front, Back, Left, Right, Top, Bottom
  std::string OutputPath;
  int32_t OutputWidth = 0;
  int32_t OutputHeight = 0;
  int32_t FilterType = 0;
  int32_t AntiAlias = 0;
  int32_t Shadows = 0;
  int32_t Background = 0;
  int32_t LightAngle = 0;
  float LightRange = 0.0f;
  int32_t AmbientLevel = 0;
  int32_t OptimizeTextures = 0;

  bool operator==(const SessionRecord&) const = default;
};

// Size of a record whose seven texts are empty.
inline constexpr size_t kEmptySessionRecordSize = 78;
// Session files larger than this are refused when read (a record is 78 bytes plus seven paths).
inline constexpr size_t kMaxSessionFileSize = size_t{64} << 20;

// The record of a new session: the home view, box style 3, 800 x 836, anisotropic filtering,
// anti-aliasing and shadows on, white background, light at 0 degrees with range 12, ambient 80,
// texture optimisation on, no covers and no output file.
SessionRecord newSessionRecord();

std::vector<uint8_t> encodeSessionRecord(const SessionRecord& record);
// Reads a record from the bytes given. A text line ends at CR LF, a lone CR, a lone LF, a zero
// byte or the end of the data; bytes missing at the end read as zeros.
SessionRecord decodeSessionRecord(const uint8_t* data, size_t size);

// Writes a record so that an existing file is replaced whole or not at all.
bool writeSessionFile(const std::string& path, const SessionRecord& record,
                      std::string* error = nullptr);
// Reads a record from a file; false when the file cannot be read (missing, a folder, too large).
bool readSessionFile(const std::string& path, SessionRecord* record, std::string* error = nullptr);

// Reads an integer the way the size fields are read: leading blanks and tabs skipped, one
// optional sign, then "$" and hexadecimal digits, "%" and binary digits, or decimal digits, up to
// the first other character; no digits gives 0. Values beyond 32 bits saturate.
int32_t readLooseInteger(std::string_view text);

// The record of the current scene: the camera pivot's rotation and the camera's position from the
// engine, every other field from `state` (OutputWidth/OutputHeight as they stand in `state`).
SessionRecord captureSessionRecord(const AppState& state);

}  // namespace kestrum
