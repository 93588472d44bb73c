// The window-message protocol between the unpacker and its front-end: the
// window titles, the message numbers and the payload layouts. doc/front-end.md
// describes it for front-end authors.
//
//   front-end -> unpacker  WM_COPYDATA  DestinationFolderPayload (any number)
//   front-end -> unpacker  UM_EXTRACT_ALL
//   unpacker -> front-end  WM_COPYDATA  ProgressReport, wParam = the unpacker's
//                          window, dwData 0, cbData 265 (once per progress point)
//   unpacker -> front-end  UM_EXTRACT_DONE or UM_EXTRACT_FAILED, wParam 0, lParam 0
//   front-end -> unpacker  WM_CLOSE before UM_EXTRACT_ALL, wParam = the exit code
//
// The unpacker sends synchronously, to the top-level window titled
// FrontEndWindowTitle, looked up before every message.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/window.h"

namespace stowaway {

inline constexpr char UnpackerClassName[] = "Window1";
inline constexpr char UnpackerWindowTitle[] = "fUnpackerForm";
inline constexpr char FrontEndWindowTitle[] = "fSplashScreen";
// Appended to the front-end's path on its command line.
inline constexpr char FrontEndArgument[] = " /Splash";
// Set in the front-end's environment: the installer's full path, and the
// installer's own arguments as they were given.
inline constexpr char InstallerVariable[] = "STOWAWAY_INSTALLER";
inline constexpr char ArgumentsVariable[] = "STOWAWAY_ARGS";

inline constexpr uint32_t UM_EXTRACT_DONE = WmUser + 1;
inline constexpr uint32_t UM_EXTRACT_FAILED = WmUser + 2;
inline constexpr uint32_t UM_EXTRACT_ALL = WmUser + 4;

// The unpacker's exit codes. Besides these, a front-end's non-zero reply to
// UM_EXTRACT_DONE, and the wParam of a WM_CLOSE that comes before
// UM_EXTRACT_ALL, become the exit code.
inline constexpr int32_t ExitSucceeded = 0;
inline constexpr int32_t ExitStartFailed = 1;        // before the front-end ran
inline constexpr int32_t ExitExtractionFailed = 2;   // UM_EXTRACT_FAILED was sent
inline constexpr int32_t ExitFrontEndNotStarted = 3;
inline constexpr int32_t ExitFrontEndVanished = 4;   // it ended without a word
// What the setup front-end sends as WM_CLOSE's wParam; 9 and above are free.
inline constexpr int32_t ExitCancelled = 5;
inline constexpr int32_t ExitUsage = 6;
inline constexpr int32_t ExitFolderNotMade = 7;
inline constexpr int32_t ExitNoSpace = 8;

// Length-prefixed strings: a length byte, then that many characters of the
// ANSI code page; the bytes behind them carry no meaning.
inline constexpr size_t ShortStringCapacity = 255;

#pragma pack(push, 1)

// Sent by the unpacker at every progress point of an entry.
struct ProgressReport {
  uint8_t EntryName[1 + ShortStringCapacity];  // the file-name part of the entry's name
  int32_t BytesRead;     // packed bytes of this entry taken so far
  int32_t BytesWritten;  // bytes of the entry's file written so far
  uint8_t Percent;       // BytesRead of the entry's packed size, in percent
};

// Sent by the front-end: the destination folder, without a trailing
// separator. Only the length byte and the characters it announces need be
// sent.
struct DestinationFolderPayload {
  uint8_t Length;
  char Path[ShortStringCapacity];
};

#pragma pack(pop)

static_assert(sizeof(ProgressReport) == 265);
static_assert(offsetof(ProgressReport, EntryName) == 0);
static_assert(offsetof(ProgressReport, BytesRead) == 256);
static_assert(offsetof(ProgressReport, BytesWritten) == 260);
static_assert(offsetof(ProgressReport, Percent) == 264);
static_assert(sizeof(DestinationFolderPayload) == 256);
static_assert(offsetof(DestinationFolderPayload, Path) == 1);

}  // namespace stowaway
