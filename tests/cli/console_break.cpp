// Runs a console program and sends it a console control event when it writes a given line, as a
// user pressing Ctrl+C or Ctrl+Break in its console would.
// usage: console_break.exe ctrl-c|ctrl-break LINE PROGRAM [ARGS...]
// The program's output passes through; the exit code is the program's (70: it could not start).
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

std::string Narrow(const wchar_t* text) {
  std::string result;
  for (; *text != L'\0'; ++text) result += static_cast<char>(*text < 0x80 ? *text : '?');
  return result;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 4) {
    std::fputs("usage: console_break.exe ctrl-c|ctrl-break LINE PROGRAM [ARGS...]\n", stderr);
    return 64;
  }
  const bool breakEvent = Narrow(argv[1]) == "ctrl-break";
  const std::string trigger = Narrow(argv[2]);
  std::wstring commandLine;
  for (int i = 3; i < argc; ++i) commandLine += L"\"" + std::wstring(argv[i]) + L"\" ";

  SECURITY_ATTRIBUTES inheritable{sizeof(inheritable), nullptr, TRUE};
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inheritable, 0)) return 70;
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = writeEnd;
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION child{};
  // Ctrl+Break goes to the program's own process group; Ctrl+C, which a new group ignores, to
  // every process of the console, this one excepted.
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE,
                      breakEvent ? CREATE_NEW_PROCESS_GROUP : 0, nullptr, nullptr, &startup,
                      &child)) {
    std::fprintf(stderr, "console_break: cannot start the program (error %lu)\n", GetLastError());
    return 70;
  }
  CloseHandle(writeEnd);
  if (!breakEvent) SetConsoleCtrlHandler(nullptr, TRUE);  // after the start: children inherit it

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
      // The id of a new process group is its first process's id.
      sent = true;
      const bool delivered = breakEvent
                                 ? GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, child.dwProcessId)
                                 : GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
      std::fprintf(stderr, "console_break: %ls %s\n", argv[1],
                   delivered ? "sent" : "could not be sent");
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
