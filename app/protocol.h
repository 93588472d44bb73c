// The window-message protocol between the unpacker and its front-end: the
// window titles, the message numbers and the payload layouts. doc/front-end.md
// describes it for front-end authors.
//
//   front-end -> unpacker  WM_COPYDATA  DestinationFolderPayload (any number)
//   front-end -> unpacker  UM_EXTRACT_ALL
//   unpacker -> front-end  WM_COPYDATA  ProgressReport, wParam = the unpacker's
//                          window, dwData 0, cbData 265 (once per progress point)
//   unpacker -> front-end  UM_EXTRACT_DONE or UM_EXTRACT_FAILED, wParam 0, lParam 0
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

inline constexpr uint32_t UM_EXTRACT_DONE = WmUser + 1;
inline constexpr uint32_t UM_EXTRACT_FAILED = WmUser + 2;
inline constexpr uint32_t UM_EXTRACT_ALL = WmUser + 4;

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
