#include "cli/win_console.h"

#include <windows.h>

namespace winconsole {

namespace {

void (*g_onStop)() = nullptr;
void* g_wakeEvent = nullptr;

BOOL WINAPI OnConsoleEvent(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      if (g_onStop) g_onStop();
      if (g_wakeEvent) SetEvent(g_wakeEvent);
      if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        // The process ends when this handler returns: give the main loop
        // the time to complete the files (Windows allows a few seconds).
        Sleep(4000);
      }
      return TRUE;
    default:
      return FALSE;
  }
}

HANDLE Input() { return GetStdHandle(STD_INPUT_HANDLE); }
HANDLE Output() { return GetStdHandle(STD_OUTPUT_HANDLE); }

}  // namespace

void* CreateWakeEvent() { return CreateEventW(nullptr, FALSE, FALSE, nullptr); }
void SetWakeEvent(void* event) {
  if (event) SetEvent(event);
}
void CloseWakeEvent(void* event) {
  if (event) CloseHandle(event);
}

void InstallStopHandler(void (*onStop)(), void* wakeEvent) {
  g_onStop = onStop;
  g_wakeEvent = wakeEvent;
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

ConsoleSession::ConsoleSession(bool readKeys) {
  DWORD mode = 0;
  if (GetConsoleMode(Output(), &mode)) {
    savedOutputMode_ = mode;
    savedOutputCodePage_ = GetConsoleOutputCP();
    outputModeSaved_ = true;
    SetConsoleMode(Output(), mode | ENABLE_PROCESSED_OUTPUT | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
    SetConsoleOutputCP(CP_UTF8);
  }
  if (readKeys && GetConsoleMode(Input(), &mode)) {
    savedInputMode_ = mode;
    // Ctrl-C stays a signal (processed input); keys come one by one, unechoed.
    keysActive_ = SetConsoleMode(Input(), (mode | ENABLE_PROCESSED_INPUT) & ~(ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT)) != 0;
  }
}

ConsoleSession::~ConsoleSession() {
  if (keysActive_) SetConsoleMode(Input(), savedInputMode_);
  if (outputModeSaved_) {
    SetConsoleMode(Output(), savedOutputMode_);
    SetConsoleOutputCP(savedOutputCodePage_);
  }
}

void Wait(void* wakeEvent, bool withKeys, unsigned milliseconds) {
  HANDLE handles[2] = {wakeEvent, Input()};
  WaitForMultipleObjects(withKeys ? 2 : 1, handles, FALSE, milliseconds);
}

char TakeKey() {
  DWORD waiting = 0;
  while (GetNumberOfConsoleInputEvents(Input(), &waiting) && waiting > 0) {
    INPUT_RECORD record{};
    DWORD read = 0;
    if (!ReadConsoleInputW(Input(), &record, 1, &read) || read == 0) return 0;
    if (record.EventType != KEY_EVENT || !record.Event.KeyEvent.bKeyDown) continue;
    const wchar_t c = record.Event.KeyEvent.uChar.UnicodeChar;
    if (c == L'\r') return '\n';
    if (c > 0 && c < 128) return static_cast<char>(c);
  }
  return 0;
}

bool StdoutIsConsole() {
  DWORD mode = 0;
  return GetConsoleMode(Output(), &mode) != 0;
}

}  // namespace winconsole
