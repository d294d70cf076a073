#pragma once
// Transport decisions of the play window, apart from any window so that tests
// call them with numbers: the command filter, seek arithmetic, the tick's
// duration growth and texts, play/pause and end-of-file choices, the layout of
// the bottom row, screenshot names and the picture written into a shot.
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <QImage>
#include <QRect>
#include <QSize>

namespace zov_play {

// Control ids (each is the skin id of the control's image).
inline constexpr int kIdPrevious = 10151;
inline constexpr int kIdNext = 10152;
inline constexpr int kIdPlay = 10153;
inline constexpr int kIdStop = 10154;
inline constexpr int kIdOpenFile = 10155;
inline constexpr int kIdScreenshot = 10156;
inline constexpr int kIdSound = 10157;
inline constexpr int kIdVolume = 10158;
inline constexpr int kIdSeekBar = 10162;
inline constexpr int kIdLatitude = 10177;
inline constexpr int kIdLongitude = 10178;
inline constexpr int kIdTime = 10179;
// One picture back and forward (each is its image's skin id) and the
// playback speed control.
inline constexpr int kIdStepBack = 10159;
inline constexpr int kIdStepForward = 10160;
inline constexpr int kIdSpeed = 10161;

// A command within this long of the previous click is dropped.
inline constexpr int kCommandGapMs = 1000;
// The position poll (timer 1): its first run this long after playing starts,
// then just after each second of the recording (NextTickMs).
inline constexpr int kFirstTickMs = 250;
inline constexpr int kTickTimerId = 1;
// The seek bar runs over 0..kSeekSteps; the volume slider over 0..kVolumeSteps.
inline constexpr int kSeekSteps = 300;
inline constexpr int kVolumeSteps = 31;
// A duration the engine reports below 1 s is taken as this.
inline constexpr int kUnknownDurationSeconds = 100;
// The position may pass the reported length by this much before the length
// grows, and then it grows by kDurationGrowthSeconds.
inline constexpr int kDurationSlackSeconds = 10;
inline constexpr int kDurationGrowthSeconds = 30;
// After an open failure the next file is tried this much later.
inline constexpr int kOpenFailureRetryMs = 500;
// One press of the Left or Right arrow key seeks this far.
inline constexpr int kStepSeekSeconds = 10;
// A held arrow key seeks again at most this long after the last seek ended.
inline constexpr int kStepRepeatGapMs = 250;
// Gap between the eight controls of the bottom row; the row's extra margin.
inline constexpr int kBottomRowGap = 20;
inline constexpr int kBottomRowSlack = 140;

// The time text of a stopped window.
inline constexpr const char* kZeroTimeText = "00:00:00/00:00:00";

// Drops commands that come within kCommandGapMs of the previous click; the
// stored time moves on every click, accepted or not, and again when an
// accepted command has been carried out: clicks that queued up while the
// window was busy with it are the same impatient repeat, however long it took.
class CommandFilter {
 public:
  bool Accept(int64_t nowMs);
  void Handled(int64_t nowMs);
  // How long from `nowMs` until a command would be accepted (0: at once).
  int64_t WaitMs(int64_t nowMs) const;

 private:
  std::optional<int64_t> last_;
};

// Commands that act while a start loads its track: all but the screenshot
// (nothing is shown yet). A transport command then replaces the start.
bool AllowedWhileStarting(int id);

// The seek target, in ms from the start, of a seek bar value 0..300 on a
// recording `lengthMs` long.
int64_t SeekBarMs(int value, int64_t lengthMs);
// The target of an arrow-key step of `seconds` from `positionMs`: within the
// recording, at most one second before its end.
int64_t StepTargetMs(int64_t positionMs, int seconds, int64_t lengthMs);

// Remembers the last seek target so that seeking to the same place twice in
// a row seeks once. Take(ms) answers whether to seek.
class SeekTarget {
 public:
  bool Take(int64_t ms);
  void Forget() { last_ = -1; }

 private:
  int64_t last_ = -1;
};

// What one tick shows.
struct TickView {
  int position = 0;
  int duration = 0;
  bool durationGrew = false;  // the engine is to be told the new duration
  int seekValue = 0;
  std::string timeText;
};
// The tick's arithmetic for position p and reported duration d. An ended
// recording shows position 0 and never grows the duration (the engine
// reports a far position once it has stopped).
TickView ComputeTick(int position, int duration, bool ended);
// Wall time to the next position poll: just after the recording's next
// second at `speedPercent`, so the time text, the seek bar, the timeline and
// the map move together once a second (each window update recomposes the
// whole main window); within the last second, in quarters of one, so the end
// is seen soon. Between 40 ms and 1 s.
int NextTickMs(int64_t positionMs, int64_t lengthMs, int speedPercent);
std::string FormatTime(int position, int duration);
int SeekBarValue(int position, int duration);

// What the play command (or the space key) does in the manager's state
// (0 stopped, 1 playing, 2 paused).
enum class PlayAction { kNone, kStart, kPause, kResume };
PlayAction PlayCommand(int state, bool spaceKey);

// What follows the end of a recording, by the "playmode" setting.
enum class EndAction { kPlayNext, kStop };
EndAction EndOfFileAction(int playMode);

// True for a GPS text log (extension ".txt" in any case); such a file has a
// track but nothing to play.
bool IsTextLog(std::string_view path);

// The files of `folder` whose extension passes `accept`, in the order the
// system lists them.
std::vector<std::string> MediaFilesOf(const std::string& folder, bool (*accept)(std::string_view));
// The command line's paths as the player takes them: each made absolute; a
// folder replaced by its files that pass `accept`, sorted by name.
std::vector<std::string> ExpandCommandLine(const std::vector<std::string>& args,
                                           bool (*accept)(std::string_view));

// Latitude or longitude label: hemisphere letter and signed value.
std::string PositionText(char hemisphere, float value);

// Left edges of the bottom controls (sound, volume, previous, picture back,
// play, picture forward, next, stop, open file, screenshot, speed), laid out
// left to right, centred.
std::vector<int> BottomRowLefts(const std::vector<int>& widths, int clientWidth);

// Skin rectangles of the bottom row's controls, in the row's order.
inline constexpr int kBottomRowRects[] = {10170, 10173, 10164, 10193, 10166, 10194, 10165, 10167, 10168, 10169, 10195};
// Room kept between the bottom row and the time text or the position texts.
inline constexpr int kStripClearance = 10;
// The narrowest gap between two bottom-row controls, in the narrowest window.
inline constexpr int kBottomRowMinGap = 8;

// What the bottom row must keep clear of: the time text at the left (its
// right edge) and the two position texts right-aligned `margin` from the
// right edge, `positionsWidth` wide.
struct StripMeasures {
  int timeRight = 0;
  int positionsWidth = 0;
  int margin = 0;
};

struct BottomRowPlace {
  std::vector<int> lefts;
  bool positionsShown = true;
};

// The bottom row in a window `clientWidth` wide. As designed (centred, 20
// pixels apart) while that clears the time and position texts; otherwise
// centred in the room between them; in a narrower window the position texts
// give way and the row takes the room up to the right margin, its gaps
// shrinking down to kBottomRowMinGap. Every control stays whole and apart
// from the time text down to BottomRowMinimumWidth.
BottomRowPlace PlaceBottomRow(const std::vector<int>& widths, int clientWidth, const StripMeasures& strip);
int BottomRowMinimumWidth(const std::vector<int>& widths, const StripMeasures& strip);

// "shot_YYYYMMDD_HHMMSS_P.bmp" for local time `when` and playback second P.
std::string ShotFileName(const std::tm& when, int positionSeconds);
// A folder text with exactly one trailing "/" (empty stays empty).
std::string WithTrailingSlash(std::string folder);
// Folder a save dialog starts in: the file list's folder, or `home` when
// that is shorter than three characters.
std::string SaveDialogFolder(const std::string& listFolder, const std::string& home);

// The open-file dialog's filter text (ZovOpenFileFilter of
// library/zov_media_extensions.h) as entries of a Qt file dialog: each "label|patterns" pair
// becomes the label's text before its "(" followed by the patterns, space
// separated, in parentheses.
std::vector<std::string> QtFileFilters(std::string_view filter);

// One pane of the video area: where it lies and the picture it presents.
struct PanePicture {
  QRect rect;
  QImage picture;
};
// The video area as shown: black, with each pane's picture stretched over its
// rectangle (later panes over earlier ones).
QImage ComposeVideoArea(QSize area, const std::vector<PanePicture>& panes);
// A 24-bit bottom-up BMP of `image`: 14-byte file header, 40-byte info header,
// rows padded to 4 bytes.
std::vector<uint8_t> EncodeBmp24(const QImage& image);

}  // namespace zov_play
