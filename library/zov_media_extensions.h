#pragma once
// The files the play list takes, by extension, and the open dialog's filter
// that offers them: the one list the drop handlers, the command line, the
// folder expansion and both open dialogs go by.
//
// An extension is the text from the last "." of a path on, dot included,
// compared whole and case as written (".Mp4" is not one). Pure; any thread.
#include <array>
#include <string>
#include <string_view>

// Every extension the play list accepts: recordings, sound and text logs.
inline constexpr std::array<std::string_view, 16> kZovMediaExtensions = {
    ".MP4", ".mp4", ".mov", ".MOV", ".mkv", ".MKV", ".rmvb", ".RMVB",
    ".avi", ".AVI", ".mp3", ".MP3", ".txt", ".TXT", ".ts",  ".TS"};
// The text logs among them: accepted, but never checked as a video.
inline constexpr std::array<std::string_view, 2> kZovTextLogExtensions = {".txt", ".TXT"};

// The video line of the open dialog: the patterns shown after the label and
// the patterns matched (the two differ in the case of two entries).
inline constexpr const char* kZovOpenFilterShown =
    "(*.mp4;*.mov;*.MP4;*.MOV;*.ts;*.TS;*.avi;*.AVI;*.MKV;*.MP3;*.TXT;*.txt)";
inline constexpr const char* kZovOpenFilterPatterns =
    "*.mp4;*.mov;*.MP4;*.MOV;*.ts;*.TS;*.avi;*.AVI;*.mkv;*.mp3;*.TXT;*.txt";

// The extension of `path` from its last "." on, dot included; empty when
// there is no ".".
std::string ZovExtensionOf(std::string_view path);
// True when the extension of `text` (a path or an extension) is one of
// kZovMediaExtensions.
bool ZovIsMediaExtension(std::string_view text);
// The same without the text logs.
bool ZovIsVideoExtension(std::string_view text);
// The open dialog's filter in the "label|patterns|...||" form:
// "<videoText>(shown)|patterns|<allFilesText> (*.*)|*.*||".
std::string ZovOpenFileFilter(const std::string& videoText, const std::string& allFilesText);
// A filter's ';'-separated patterns as a file dialog on this system needs
// them, space separated: file names match case by case here, while cameras
// (and the filter's shown text) use either case, so each pattern is also
// given in lower and upper case (the listed ones first, in their order).
std::string ZovDialogPatterns(std::string_view patterns);
