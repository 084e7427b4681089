// SPDX-License-Identifier: GPL-3.0-or-later
// The Win32 subset this program uses: multimedia MIDI, global memory, posted messages.
// On Windows this is the real API; elsewhere the same names, values and layouts are declared
// here and implemented by this library, so the code above is written once for both.
#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <string>

#ifdef _WIN32

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// After windows.h, whose types it uses.
#include <mmsystem.h>

#else  // !_WIN32

#include <cstddef>
#include <cstdint>

#define WINAPI
#define CALLBACK
#define TRUE 1
#define FALSE 0

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using UINT = unsigned int;
using LONG = std::int32_t;
using BOOL = int;
using CHAR = char;
using LPSTR = char*;
using LPCSTR = const char*;
using LPVOID = void*;
using LPBYTE = BYTE*;
using LPDWORD = DWORD*;
using SIZE_T = std::size_t;
using UINT_PTR = std::uintptr_t;
using LONG_PTR = std::intptr_t;
using DWORD_PTR = std::uintptr_t;
using WPARAM = UINT_PTR;
using LPARAM = LONG_PTR;
using LRESULT = LONG_PTR;
using MMRESULT = UINT;
using MMVERSION = UINT;
using HANDLE = void*;
using HGLOBAL = HANDLE;

struct HWND__;
using HWND = HWND__*;
struct HMIDIOUT__;
using HMIDIOUT = HMIDIOUT__*;
using LPHMIDIOUT = HMIDIOUT*;
struct HMIDIIN__;
using HMIDIIN = HMIDIIN__*;
using LPHMIDIIN = HMIDIIN*;
struct HDRVR__;
using HDRVR = HDRVR__*;

// Driver callback: handle, message, instance, parameter 1, parameter 2.
using DRVCALLBACK = void(HDRVR, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR);
using LPDRVCALLBACK = DRVCALLBACK*;
using MIDICALLBACK = DRVCALLBACK;

constexpr UINT WM_USER = 0x0400;

constexpr UINT MM_MIM_OPEN = 0x3C1;
constexpr UINT MM_MIM_CLOSE = 0x3C2;
constexpr UINT MM_MIM_DATA = 0x3C3;
constexpr UINT MM_MIM_LONGDATA = 0x3C4;
constexpr UINT MM_MIM_ERROR = 0x3C5;
constexpr UINT MM_MIM_LONGERROR = 0x3C6;
constexpr UINT MM_MOM_OPEN = 0x3C7;
constexpr UINT MM_MOM_CLOSE = 0x3C8;
constexpr UINT MM_MOM_DONE = 0x3C9;
constexpr UINT MIM_OPEN = MM_MIM_OPEN;
constexpr UINT MIM_CLOSE = MM_MIM_CLOSE;
constexpr UINT MIM_DATA = MM_MIM_DATA;
constexpr UINT MIM_LONGDATA = MM_MIM_LONGDATA;
constexpr UINT MIM_ERROR = MM_MIM_ERROR;
constexpr UINT MIM_LONGERROR = MM_MIM_LONGERROR;
constexpr UINT MOM_OPEN = MM_MOM_OPEN;
constexpr UINT MOM_CLOSE = MM_MOM_CLOSE;
constexpr UINT MOM_DONE = MM_MOM_DONE;

constexpr DWORD CALLBACK_TYPEMASK = 0x00070000;
constexpr DWORD CALLBACK_NULL = 0x00000000;
constexpr DWORD CALLBACK_WINDOW = 0x00010000;
constexpr DWORD CALLBACK_TASK = 0x00020000;
constexpr DWORD CALLBACK_THREAD = CALLBACK_TASK;
constexpr DWORD CALLBACK_FUNCTION = 0x00030000;
constexpr DWORD CALLBACK_EVENT = 0x00050000;

constexpr UINT MIDI_MAPPER = static_cast<UINT>(-1);
constexpr int MAXPNAMELEN = 32;
constexpr int MAXERRORLENGTH = 256;

constexpr MMRESULT MMSYSERR_BASE = 0;
constexpr MMRESULT MMSYSERR_NOERROR = 0;
constexpr MMRESULT MMSYSERR_ERROR = 1;
constexpr MMRESULT MMSYSERR_BADDEVICEID = 2;
constexpr MMRESULT MMSYSERR_NOTENABLED = 3;
constexpr MMRESULT MMSYSERR_ALLOCATED = 4;
constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
constexpr MMRESULT MMSYSERR_NODRIVER = 6;
constexpr MMRESULT MMSYSERR_NOMEM = 7;
constexpr MMRESULT MMSYSERR_NOTSUPPORTED = 8;
constexpr MMRESULT MMSYSERR_BADERRNUM = 9;
constexpr MMRESULT MMSYSERR_INVALFLAG = 10;
constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
constexpr MMRESULT MMSYSERR_HANDLEBUSY = 12;
constexpr MMRESULT MMSYSERR_INVALIDALIAS = 13;
constexpr MMRESULT MMSYSERR_BADDB = 14;
constexpr MMRESULT MMSYSERR_KEYNOTFOUND = 15;
constexpr MMRESULT MMSYSERR_READERROR = 16;
constexpr MMRESULT MMSYSERR_WRITEERROR = 17;
constexpr MMRESULT MMSYSERR_DELETEERROR = 18;
constexpr MMRESULT MMSYSERR_VALNOTFOUND = 19;
constexpr MMRESULT MMSYSERR_NODRIVERCB = 20;
constexpr MMRESULT MMSYSERR_MOREDATA = 21;
constexpr MMRESULT MMSYSERR_LASTERROR = 21;

constexpr MMRESULT MIDIERR_BASE = 64;
constexpr MMRESULT MIDIERR_UNPREPARED = 64;
constexpr MMRESULT MIDIERR_STILLPLAYING = 65;
constexpr MMRESULT MIDIERR_NOMAP = 66;
constexpr MMRESULT MIDIERR_NOTREADY = 67;
constexpr MMRESULT MIDIERR_NODEVICE = 68;
constexpr MMRESULT MIDIERR_INVALIDSETUP = 69;
constexpr MMRESULT MIDIERR_BADOPENMODE = 70;
constexpr MMRESULT MIDIERR_DONT_CONTINUE = 71;
constexpr MMRESULT MIDIERR_LASTERROR = 71;

constexpr DWORD MHDR_DONE = 0x00000001;
constexpr DWORD MHDR_PREPARED = 0x00000002;
constexpr DWORD MHDR_INQUEUE = 0x00000004;
constexpr DWORD MHDR_ISSTRM = 0x00000008;

constexpr UINT GMEM_FIXED = 0x0000;
constexpr UINT GMEM_MOVEABLE = 0x0002;
constexpr UINT GMEM_ZEROINIT = 0x0040;
constexpr UINT GMEM_DDESHARE = 0x2000;
constexpr UINT GMEM_SHARE = GMEM_DDESHARE;
constexpr UINT GHND = GMEM_MOVEABLE | GMEM_ZEROINIT;
constexpr UINT GPTR = GMEM_FIXED | GMEM_ZEROINIT;

// The multimedia records are byte-packed, as in the Windows headers.
#pragma pack(push, 1)

struct midihdr_tag {
    LPSTR lpData;
    DWORD dwBufferLength;
    DWORD dwBytesRecorded;
    DWORD_PTR dwUser;
    DWORD dwFlags;
    midihdr_tag* lpNext;
    DWORD_PTR reserved;
    DWORD dwOffset;
    DWORD_PTR dwReserved[8];
};
using MIDIHDR = midihdr_tag;
using PMIDIHDR = MIDIHDR*;
using LPMIDIHDR = MIDIHDR*;

struct tagMIDIOUTCAPSA {
    WORD wMid;
    WORD wPid;
    MMVERSION vDriverVersion;
    CHAR szPname[MAXPNAMELEN];
    WORD wTechnology;
    WORD wVoices;
    WORD wNotes;
    WORD wChannelMask;
    DWORD dwSupport;
};
using MIDIOUTCAPSA = tagMIDIOUTCAPSA;
using LPMIDIOUTCAPSA = MIDIOUTCAPSA*;

struct tagMIDIINCAPSA {
    WORD wMid;
    WORD wPid;
    MMVERSION vDriverVersion;
    CHAR szPname[MAXPNAMELEN];
    DWORD dwSupport;
};
using MIDIINCAPSA = tagMIDIINCAPSA;
using LPMIDIINCAPSA = MIDIINCAPSA*;

#pragma pack(pop)

constexpr WORD MOD_MIDIPORT = 1;
constexpr WORD MOD_SWSYNTH = 7;

static_assert(sizeof(MIDIOUTCAPSA) == 52);
static_assert(sizeof(MIDIINCAPSA) == 44);
static_assert(sizeof(void*) != 8 || sizeof(MIDIHDR) == 112);
static_assert(sizeof(void*) != 4 || sizeof(MIDIHDR) == 64);

UINT WINAPI midiOutGetNumDevs();
MMRESULT WINAPI midiOutGetDevCapsA(UINT_PTR uDeviceID, LPMIDIOUTCAPSA pmoc, UINT cbmoc);
MMRESULT WINAPI midiOutOpen(LPHMIDIOUT phmo, UINT uDeviceID, DWORD_PTR dwCallback,
                            DWORD_PTR dwInstance, DWORD fdwOpen);
MMRESULT WINAPI midiOutClose(HMIDIOUT hmo);
MMRESULT WINAPI midiOutShortMsg(HMIDIOUT hmo, DWORD dwMsg);
MMRESULT WINAPI midiOutPrepareHeader(HMIDIOUT hmo, LPMIDIHDR pmh, UINT cbmh);
MMRESULT WINAPI midiOutUnprepareHeader(HMIDIOUT hmo, LPMIDIHDR pmh, UINT cbmh);
MMRESULT WINAPI midiOutLongMsg(HMIDIOUT hmo, LPMIDIHDR pmh, UINT cbmh);
MMRESULT WINAPI midiOutGetErrorTextA(MMRESULT mmrError, LPSTR pszText, UINT cchText);

UINT WINAPI midiInGetNumDevs();
MMRESULT WINAPI midiInGetDevCapsA(UINT_PTR uDeviceID, LPMIDIINCAPSA pmic, UINT cbmic);
MMRESULT WINAPI midiInOpen(LPHMIDIIN phmi, UINT uDeviceID, DWORD_PTR dwCallback,
                           DWORD_PTR dwInstance, DWORD fdwOpen);
MMRESULT WINAPI midiInClose(HMIDIIN hmi);
MMRESULT WINAPI midiInPrepareHeader(HMIDIIN hmi, LPMIDIHDR pmh, UINT cbmh);
MMRESULT WINAPI midiInUnprepareHeader(HMIDIIN hmi, LPMIDIHDR pmh, UINT cbmh);
MMRESULT WINAPI midiInAddBuffer(HMIDIIN hmi, LPMIDIHDR pmh, UINT cbmh);
MMRESULT WINAPI midiInStart(HMIDIIN hmi);
MMRESULT WINAPI midiInStop(HMIDIIN hmi);
MMRESULT WINAPI midiInReset(HMIDIIN hmi);
MMRESULT WINAPI midiInGetErrorTextA(MMRESULT mmrError, LPSTR pszText, UINT cchText);

HGLOBAL WINAPI GlobalAlloc(UINT uFlags, SIZE_T dwBytes);
LPVOID WINAPI GlobalLock(HGLOBAL hMem);
BOOL WINAPI GlobalUnlock(HGLOBAL hMem);
HGLOBAL WINAPI GlobalFree(HGLOBAL hMem);
SIZE_T WINAPI GlobalSize(HGLOBAL hMem);

// Any thread may post. FALSE for a null window or a full mailbox; the message then is lost.
BOOL WINAPI PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);

// The per-user registry. Its hive is a file in the registry editor's export format under
// $XDG_CONFIG_HOME (default ~/.config); a key's changes reach the file, whole and atomically,
// when the key is closed.
struct HKEY__;
using HKEY = HKEY__*;
using PHKEY = HKEY*;
using LSTATUS = LONG;
using REGSAM = DWORD;
struct SECURITY_ATTRIBUTES;
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;

// The predefined root: the 32-bit value 0x80000001, sign-extended as Windows does.
inline const HKEY HKEY_CURRENT_USER =
    reinterpret_cast<HKEY>(static_cast<LONG_PTR>(static_cast<LONG>(0x80000001)));

constexpr LSTATUS ERROR_SUCCESS = 0;
constexpr LSTATUS ERROR_FILE_NOT_FOUND = 2;
constexpr LSTATUS ERROR_ACCESS_DENIED = 5;
constexpr LSTATUS ERROR_INVALID_HANDLE = 6;
constexpr LSTATUS ERROR_OUTOFMEMORY = 14;
constexpr LSTATUS ERROR_INVALID_PARAMETER = 87;
constexpr LSTATUS ERROR_BAD_PATHNAME = 161;
constexpr LSTATUS ERROR_MORE_DATA = 234;
constexpr LSTATUS ERROR_BADDB = 1009;
constexpr LSTATUS ERROR_CANTREAD = 1012;
constexpr LSTATUS ERROR_CANTWRITE = 1013;

constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM KEY_NOTIFY = 0x0010;
constexpr REGSAM KEY_READ = 0x20019;
constexpr REGSAM KEY_WRITE = 0x20006;
constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;
constexpr DWORD REG_DWORD_BIG_ENDIAN = 5;
constexpr DWORD REG_MULTI_SZ = 7;
constexpr DWORD REG_QWORD = 11;

LSTATUS WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass,
                               DWORD dwOptions, REGSAM samDesired,
                               LPSECURITY_ATTRIBUTES lpSecurityAttributes, PHKEY phkResult,
                               LPDWORD lpdwDisposition);
LSTATUS WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                             PHKEY phkResult);
LSTATUS WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType,
                              const BYTE* lpData, DWORD cbData);
LSTATUS WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                                LPBYTE lpData, LPDWORD lpcbData);
LSTATUS WINAPI RegCloseKey(HKEY hKey);

#endif  // _WIN32

// What Win32 lacks, on every host.
namespace platform {

// The procedure of a message-only window; runs on the thread that created the window.
using MessageProc = std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)>;

// Creates a hidden window that only receives posted messages. GUI thread only.
HWND CreateMessageWindow(MessageProc proc);
// Destroys it; messages still posted to it are dropped. GUI thread only.
void DestroyMessageWindow(HWND window);

// Delivers every posted message that is waiting; returns how many reached a procedure. An
// exception from a procedure propagates; the messages behind it stay waiting.
int DispatchPostedMessages();
// Waits up to timeoutMs for a posted message (0: do not wait, negative: wait without limit),
// then delivers what is waiting. Returns how many reached a procedure. For tests without Qt.
int PumpMessages(int timeoutMs);

#ifdef _WIN32
// Where an exception that a procedure lets escape goes while Windows' own loop (not
// DispatchPostedMessages) dispatches: it must not cross DispatchMessage. GUI thread.
void SetProcedureExceptionHandler(std::function<void(std::exception_ptr)> handler);
#else
// Readable while posted messages wait; an event loop watches it and then calls
// DispatchPostedMessages().
int PostedMessageFd();
#endif

// Where the per-user registry keeps the settings, for the user to read: the registry on
// Windows, the hive file elsewhere.
std::string SettingsLocation();
// What went wrong with the settings file and has not been said yet (a read that failed, or a
// save), for the user to read; empty when nothing did. Each kind is said once a run; always
// empty on Windows, whose registry says nothing of the kind.
std::string TakeSettingsProblem();

// Holds the settings against every other copy of the program for one read-modify-write:
// while it lives, what this one reads is what it writes over. Waits a few seconds at most for
// another copy; held() says whether it got them, and problem() why not.
class SettingsTransaction {
  public:
    SettingsTransaction();
    ~SettingsTransaction();
    SettingsTransaction(const SettingsTransaction&) = delete;
    SettingsTransaction& operator=(const SettingsTransaction&) = delete;

    bool held() const { return state_ != nullptr; }
    const std::string& problem() const { return problem_; }

  private:
    struct State;
    std::unique_ptr<State> state_;
    std::string problem_;
};

// Owns a message-only window for the lifetime of the object.
class MessageWindow {
  public:
    explicit MessageWindow(MessageProc proc) : handle_(CreateMessageWindow(std::move(proc))) {}
    ~MessageWindow() { DestroyMessageWindow(handle_); }
    MessageWindow(const MessageWindow&) = delete;
    MessageWindow& operator=(const MessageWindow&) = delete;

    HWND handle() const { return handle_; }

  private:
    HWND handle_;
};

}  // namespace platform
