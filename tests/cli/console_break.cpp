// Runs a console program and sends it a console control event when it writes a given line, as a
// user pressing Ctrl+C or Ctrl+Break in its console, or closing the console, would.
// usage: console_break.exe ctrl-c|ctrl-break|close LINE PROGRAM [ARGS...]
// The program's output passes through; the exit code is the program's (70: it could not start).
//
// Measured under Wine 8: GenerateConsoleCtrlEvent delivers CTRL_C_EVENT only (CTRL_BREAK_EVENT
// fails), closing a console ends its processes without calling their handlers, and a process
// started with CREATE_NEW_PROCESS_GROUP ignores every event. So Ctrl+C goes through the console,
// while Ctrl+Break and close reach the program the way Windows' console server sends every event:
// a thread started in the program at kernelbase's CtrlRoutine, given the event.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

std::string Narrow(const wchar_t* text) {
  std::string result;
  for (; *text != L'\0'; ++text) result += static_cast<char>(*text < 0x80 ? *text : '?');
  return result;
}

bool SendEvent(const std::string& event, HANDLE program) {
  if (event == "ctrl-c") return GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0) != FALSE;
  const auto routine = reinterpret_cast<LPTHREAD_START_ROUTINE>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernelbase.dll"), "CtrlRoutine")));
  if (routine == nullptr) return false;
  const ULONG_PTR code = event == "close" ? CTRL_CLOSE_EVENT : CTRL_BREAK_EVENT;
  HANDLE thread =
      CreateRemoteThread(program, nullptr, 0, routine, reinterpret_cast<void*>(code), 0, nullptr);
  if (thread == nullptr) return false;
  CloseHandle(thread);
  return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 4) {
    std::fputs("usage: console_break.exe ctrl-c|ctrl-break|close LINE PROGRAM [ARGS...]\n", stderr);
    return 64;
  }
  const std::string event = Narrow(argv[1]);
  const std::string trigger = Narrow(argv[2]);
  std::wstring commandLine;
  for (int i = 3; i < argc; ++i) commandLine += L"\"" + std::wstring(argv[i]) + L"\" ";

  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  HANDLE errors = GetStdHandle(STD_ERROR_HANDLE);
  if (event == "ctrl-c") {
    // Started from a shell without a terminal, Wine gives no console: make one to share.
    FreeConsole();
    AllocConsole();
  }
  SECURITY_ATTRIBUTES inheritable{sizeof(inheritable), nullptr, TRUE};
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inheritable, 0)) return 70;
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input;
  startup.hStdOutput = writeEnd;
  startup.hStdError = errors;
  PROCESS_INFORMATION child{};
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                      &startup, &child)) {
    std::fprintf(stderr, "console_break: cannot start the program (error %lu)\n", GetLastError());
    return 70;
  }
  CloseHandle(writeEnd);
  // Ctrl+C reaches every process of the console; this one lets it pass (set after the start,
  // since children inherit it).
  SetConsoleCtrlHandler(nullptr, TRUE);

  std::string line;
  bool sent = false;
  char c = 0;
  DWORD count = 0;
  while (ReadFile(readEnd, &c, 1, &count, nullptr) && count == 1) {
    std::fputc(c, stdout);
    if (c != '\n') {
      if (c != '\r') line += c;
      continue;
    }
    std::fflush(stdout);
    if (!sent && line == trigger) {
      sent = true;
      std::fprintf(stderr, "console_break: %s %s\n", event.c_str(),
                   SendEvent(event, child.hProcess) ? "sent" : "could not be sent");
    }
    line.clear();
  }
  WaitForSingleObject(child.hProcess, INFINITE);
  DWORD exitCode = 70;
  GetExitCodeProcess(child.hProcess, &exitCode);
  CloseHandle(child.hThread);
  CloseHandle(child.hProcess);
  CloseHandle(readEnd);
  return static_cast<int>(exitCode);
}
