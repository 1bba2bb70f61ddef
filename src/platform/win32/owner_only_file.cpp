// Owner-only files on Windows: created with a protected access list that grants the current
// user alone, in the user's roaming application data folder; refused when others are granted.
#include <windows.h>
// windows.h first: the security headers need its types.
#include <aclapi.h>
#include <sddl.h>
#include <shlobj.h>

#include <cstdlib>
#include <vector>

#include "platform/owner_only_file.h"
#include "platform/win32/wide_text.h"

namespace tessaline::platform {

namespace {

struct HandleCloser {
  void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using OwnedHandle = std::unique_ptr<void, HandleCloser>;

struct LocalFreer {
  void operator()(void* memory) const { LocalFree(memory); }
};

std::string Failure(const std::filesystem::path& path, const char* what) {
  return path.string() + ": " + what + ": " + SystemErrorText(GetLastError());
}

// "O:<user>D:P(A;;FA;;;<user>)": owned by and open to the current user only, nothing inherited.
std::optional<std::wstring> OwnerOnlyDescriptor() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return std::nullopt;
  const OwnedHandle owned(token);
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::vector<unsigned char> buffer(size);
  if (size == 0 || !GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) {
    return std::nullopt;
  }
  LPWSTR sid = nullptr;
  if (!ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &sid)) {
    return std::nullopt;
  }
  const std::unique_ptr<void, LocalFreer> freeSid(sid);
  return L"O:" + std::wstring(sid) + L"D:P(A;;FA;;;" + std::wstring(sid) + L")";
}

// Whether no one but the file's owner may read or write it; the system and the administrators,
// whom Windows grants access to a user's files anyway, are let be, as OpenSSH for Windows does.
bool OnlyOwnerMayUse(HANDLE file) {
  PSID owner = nullptr;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetSecurityInfo(file, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                      &owner, nullptr, &dacl, nullptr, &descriptor) != ERROR_SUCCESS) {
    return false;
  }
  const std::unique_ptr<void, LocalFreer> freeDescriptor(descriptor);
  if (dacl == nullptr) return false;  // no access list: everyone may
  constexpr ACCESS_MASK kUse =
      FILE_READ_DATA | FILE_WRITE_DATA | GENERIC_READ | GENERIC_WRITE | GENERIC_ALL;
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    void* ace = nullptr;
    if (!GetAce(dacl, i, &ace)) return false;
    if (static_cast<ACE_HEADER*>(ace)->AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
    auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
    if ((allowed->Mask & kUse) == 0) continue;
    PSID sid = &allowed->SidStart;
    if (EqualSid(sid, owner) || IsWellKnownSid(sid, WinLocalSystemSid) ||
        IsWellKnownSid(sid, WinBuiltinAdministratorsSid)) {
      continue;
    }
    return false;
  }
  return true;
}

}  // namespace

std::optional<std::filesystem::path> UserKeyFolder(std::string& error) {
  if (const wchar_t* folder = _wgetenv(L"TESSALINE_KEY_DIR"); folder != nullptr && *folder) {
    return std::filesystem::path(folder);
  }
  PWSTR roaming = nullptr;
  if (SHGetKnownFolderPath(FOLDERID_RoamingAppData, 0, nullptr, &roaming) != S_OK) {
    CoTaskMemFree(roaming);
    error = "the user's application data folder cannot be found";
    return std::nullopt;
  }
  std::filesystem::path folder = std::filesystem::path(roaming) / L"Tessaline";
  CoTaskMemFree(roaming);
  return folder;
}

std::optional<std::string> ReadOwnerOnlyFile(const std::filesystem::path& path,
                                             std::string& error) {
  OwnedHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) {
    file.release();
    error = Failure(path, "cannot open");
    return std::nullopt;
  }
  if (!OnlyOwnerMayUse(file.get())) {
    error = path.string() +
            ": others than its owner may use this private key; it is not used (give only your "
            "own account access to it, or remove it to make a new key)";
    return std::nullopt;
  }
  std::string text;
  char block[4096];
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file.get(), block, sizeof block, &got, nullptr)) {
      error = Failure(path, "cannot read");
      return std::nullopt;
    }
    if (got == 0) break;
    text.append(block, got);
    if (text.size() > (1u << 20)) {
      error = path.string() + ": too long for a key file";
      return std::nullopt;
    }
  }
  return text;
}

bool CreateOwnerOnlyFile(const std::filesystem::path& path, std::string_view text,
                         std::string& error) {
  const auto descriptorText = OwnerOnlyDescriptor();
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!descriptorText || !ConvertStringSecurityDescriptorToSecurityDescriptorW(
                             descriptorText->c_str(), SDDL_REVISION_1, &descriptor, nullptr)) {
    error = Failure(path, "cannot describe an owner-only file");
    return false;
  }
  const std::unique_ptr<void, LocalFreer> freeDescriptor(descriptor);
  SECURITY_ATTRIBUTES security{sizeof security, descriptor, FALSE};
  std::error_code failed;
  const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : ".";
  std::filesystem::create_directories(folder, failed);
  if (failed) {
    error = folder.string() + ": cannot create the folder: " + failed.message();
    return false;
  }
  OwnedHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, &security, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) {
    file.release();
    error = Failure(path, "cannot create");
    return false;
  }
  DWORD wrote = 0;
  if (!WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &wrote, nullptr) ||
      wrote != text.size() || !FlushFileBuffers(file.get())) {
    error = Failure(path, "cannot write");
    file.reset();
    DeleteFileW(path.c_str());
    return false;
  }
  return true;
}

}  // namespace tessaline::platform
