// Session records: the byte layout of session files (*.ksm) and of the render hand-off file, and
// the one way between a record and AppState in each direction.
//
// A record has no header or version; its fields follow one another in a fixed order: five
// floats (camera pivot pitch and yaw, camera position), the box style, seven text lines ended by
// CR LF (six cover paths in slot order, then the output path), nine numbers of render settings.
// Decoding never fails: whatever is missing at the end reads as zeros and empty texts, as older
// and damaged files expect.
//
// Settings the fixed layout has no field for go into one trailing block after the last field
// (see SessionEntries below). A reader of the fixed layout stops before it, and a record without
// entries is written without it, byte for byte the fixed layout.
//
// Reading and writing files report failures as false with a reason.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct AppState;

namespace kestrum {

// The trailing block's named entries, in the order they were read or first set. Names are
// lower-case ASCII letters, digits, '.', '_' and '-' (1 to 64 of them); values are any text.
//
// On disk the block is the 8-byte marker kSessionBlockMarker, a version (int32, 1), the length
// of the entries' text (int32), that text ("name=value" lines ended by LF, with "\\", "\n" and
// "\r" in values written as "\\\\", "\\n" and "\\r") and its CRC-32 (uint32). A block whose marker,
// version, length, checksum or lines are not right is ignored whole; the record before it is
// read as usual.
class SessionEntries {
 public:
  using Entry = std::pair<std::string, std::string>;

  // The value of `name`, or none.
  std::optional<std::string> get(std::string_view name) const;
  // Sets `name` (replacing its value in place, or appending it). A name that breaks the rules
  // above is refused: false, nothing changed.
  bool set(std::string_view name, std::string_view value);
  void erase(std::string_view name);
  bool empty() const { return entries_.empty(); }
  const std::vector<Entry>& entries() const { return entries_; }

  static bool isValidName(std::string_view name);

  bool operator==(const SessionEntries&) const = default;

 private:
  std::vector<Entry> entries_;
};

inline constexpr char kSessionBlockMarker[8] = {'\x89', 'K', 'S', 'M', '+', '\r', '\n', '\x1a'};
inline constexpr int32_t kSessionBlockVersion = 1;

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
  // The trailing block; empty for a record of the fixed layout alone.
  SessionEntries Entries;

  bool operator==(const SessionRecord&) const = default;
};

// Size of a record whose seven texts are empty and that has no trailing block.
inline constexpr size_t kEmptySessionRecordSize = 78;
// Session files larger than this are refused when read (a record is 78 bytes plus seven paths).
inline constexpr size_t kMaxSessionFileSize = size_t{64} << 20;

// The render hand-off file's name, in the user's profile folder: the window writes the current
// session there and the final renderer reads it.
inline constexpr const char* kHandOffFileName = "kestrum.tmp";

// The record of a new session, and the one source of every default setting: the home view, box
// style 3, 800 x 836, anisotropic filtering, anti-aliasing and shadows on, white background,
// light at 0 degrees with range 12, ambient 80, texture optimisation on, no covers and no output
// file.
SessionRecord newSessionRecord();

std::vector<uint8_t> encodeSessionRecord(const SessionRecord& record);
// Reads a record from the bytes given. A text line ends at CR LF, a lone CR, a lone LF, a zero
// byte or the end of the data; bytes missing at the end read as zeros.
SessionRecord decodeSessionRecord(const uint8_t* data, size_t size);

// True when `text` can be one of a record's text lines: it holds no CR, LF or zero byte, any of
// which would end the line early and shift every later field.
bool fitsSessionLine(std::string_view text);

// Writes a record so that an existing file is replaced whole or not at all. A record with a text
// that fitsSessionLine refuses is not written.
bool writeSessionFile(const std::string& path, const SessionRecord& record,
                      std::string* error = nullptr);
// Reads a record from a file; false when the file cannot be read (missing, a folder, too large).
bool readSessionFile(const std::string& path, SessionRecord* record, std::string* error = nullptr);

// Reads an integer the way the size fields are read: leading blanks and tabs skipped, one
// optional sign, then "$" and hexadecimal digits, "%" and binary digits, or decimal digits, up to
// the first other character; no digits gives 0. Values beyond 32 bits saturate.
int32_t readLooseInteger(std::string_view text);

// The record of the current scene: the camera pivot's rotation and the camera's position from the
// engine, every other field from `state` (OutputWidth/OutputHeight as they stand in `state`), and
// the entries the opened session brought that the program does not use.
SessionRecord captureSessionRecord(const AppState& state);

// Which fields applySessionRecord takes from a record.
enum class RecordPart {
  // Output path and size, filter, anti-aliasing, shadows, background, light angle and range,
  // ambient level, texture optimisation.
  Settings,
  // The same without texture optimisation (what the Defaults button resets).
  SettingsButOptimize,
  // The settings, the box style, the cover paths and the trailing entries.
  Session,
};

// Puts a record's fields into `state` (never the engine: the view and the scene are the shot
// module's). A style outside 1..20 leaves state.CurrentStyle as it is; a light range that is not
// a finite number takes the default range; an ambient level outside 0..kMaxAmbientLevel takes
// the nearest end. Cover paths are copied as they stand (finding the
// files is the shot module's). With RecordPart::Session the record's trailing entries are kept
// for the next save.
void applySessionRecord(const SessionRecord& record, AppState& state,
                        RecordPart part = RecordPart::Session);

}  // namespace kestrum
